#pragma once

#include <windows.h>

#include <string>

#include "engine/CheckPlan.h"
#include "framework/Controls.h"

// What a verdict is held against; the row asks for it each time it judges.
struct VerdictSubject {
  std::string strResult;              // the shown result; empty: no verdict
  UINT nAlgorithm = kAlgorithmCount;  // the entry the list shows
  std::string strFileName;            // the checked file's name; empty for a string
};

// The window an Expected row lives in.
class ExpectedRowHost {
 public:
  virtual VerdictSubject CurrentSubject() const = 0;

 protected:
  ~ExpectedRowHost() = default;
};

// The Expected row of a window: the field that takes a published digest or
// a checksum text (typed, pasted, dropped as a file, picked up), the
// verdict beside it with its colours and tooltip, and the outcome of the
// last search over several entries, kept while it still applies.
//
// User-interface thread only. The field's text is parsed once per change of
// the text (Parsed); verdicts and plans use that parse, so typing elsewhere
// never parses a long checksum text again.
//
// Pick-ups. A text from an outside source (the clipboard; a checksum file
// found next to an opened file) is taken only while the field is empty or
// still holds an earlier pick-up: what the user typed, pasted or dropped is
// never replaced. The verdict's tooltip then carries the source's note.
class ExpectedRow {
 public:
  explicit ExpectedRow(ExpectedRowHost& host);

  ExpectedRow(const ExpectedRow&) = delete;
  ExpectedRow& operator=(const ExpectedRow&) = delete;

  // Once the dialog's controls exist: the field (a multi-line edit) takes up
  // to 1 MiB and dropped files, and reports texts set into it as changes;
  // the verdict label gets its tooltip.
  void Attach(CWnd& dialog, int nFieldId, int nVerdictId);

  // The field's change notice (the dialog routes EN_CHANGE here): a new
  // text drops the note about a file that was not taken.
  void OnTextChanged();

  // The field's text, and its parse (made once per text).
  std::string Text() const;
  const ExpectedText& Parsed();
  // How often a text has been parsed, for tests of the parse-once rule.
  size_t ParseCount() const { return m_nParses; }

  // Judges the host's current subject (or shows the kept search's verdict
  // while it still applies) and shows the words, colour and tooltip.
  void UpdateVerdict();
  DigestVerdict Verdict() const { return m_nVerdict; }
  // WM_CTLCOLORSTATIC: the verdict's colour; true when hWnd is the verdict.
  bool ColourVerdict(HDC hDC, HWND hWnd) const;

  // A search over several entries judged strExpected: its verdict (whose
  // tooltip names the entries tried) stands while the list shows nEntry,
  // the result is strResult (letter case aside) and Expected is unchanged.
  void KeepSearch(UINT nEntry, const std::string& strResult, const std::string& strExpected,
                  const CheckVerdict& verdict);
  void ForgetSearch() { m_search.bValid = false; }

  // Takes text from an outside source when the field is empty or holds an
  // earlier pick-up; strNote is the tooltip's line about the source ("Expected
  // was taken from the clipboard."). True when taken.
  bool TakePickUp(const std::string& strText, const std::string& strNote);
  // A single file was opened (command line, drop, Browse): takes the line
  // naming it from a checksum file beside it, unless the field holds the
  // clipboard's digest (that comes first) or the user's own text. An earlier
  // file's line is taken away when this file has none. True when taken.
  bool PickUpSidecar(const std::string& strFilePath);
  // Takes the clipboard's text when it is a digest or checksum text and the
  // clipboard changed since the last look (or the window is opening); true
  // when taken.
  bool PickUpClipboard(bool bOpening);
  // Right after the window's own Copy: that text is never picked up.
  void NoteOwnCopy();

 private:
  struct SearchOutcome {
    bool bValid = false;
    UINT nEntry = kAlgorithmCount;
    std::string strResult;
    std::string strExpected;
    CheckVerdict verdict;
  };

  static LRESULT CALLBACK FieldProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                    UINT_PTR uIdSubclass, DWORD_PTR dwRefData);
  void OnDrop(HDROP hDropInfo);
  const ExpectedText& ParsedFor(const std::string& strText);
  bool MayPickUp() const;

  ExpectedRowHost& m_host;
  HWND m_hDialog = nullptr;
  HWND m_hField = nullptr;
  CStatic m_verdict;
  CToolTipCtrl m_verdictTip;
  DigestVerdict m_nVerdict = DigestVerdict::kNone;
  SearchOutcome m_search;

  std::string m_strParsedText;
  ExpectedText m_parsed;
  size_t m_nParses = 0;

  DWORD m_dwClipboardSeen = 0;  // the clipboard's sequence number last looked at
  DWORD m_dwOwnCopy = 0;        // its number right after our own Copy
  std::string m_strPickedUp;    // what the last pick-up put into the field
  std::string m_strPickUpNote;  // and where it came from
  // Why a dropped file was not taken; dropped with the next text.
  std::string m_strDropNote;
};
