#include "ui/ExpectedRow.h"

#include <commctrl.h>

#include <cstring>

#include "fileio/LongPath.h"
#include "engine/Sidecar.h"
#include "fileio/OwnedHandle.h"
#include "ui/Clipboard.h"

namespace {

// The words of the verdict carry it; the colours only repeat it.
const COLORREF kMatchColour = RGB(0, 100, 0);    // dark green
const COLORREF kNoMatchColour = RGB(139, 0, 0);  // dark red

// The field takes a whole checksum file; the clipboard's text is taken only
// up to a smaller size, since nobody asked for it.
const int kExpectedLimit = 1048576;
const size_t kClipboardLimit = 65536;

const char kFromClipboard[] = "Expected was taken from the clipboard.";

// Reads a dropped checksum file as the field's text: UTF-16 with its byte
// order mark becomes the program's bytes; other text is taken as it is.
enum class ExpectedFile { kRead, kTooLarge, kNotText, kUnreadable };

ExpectedFile ReadExpectedFile(const std::string& path, std::string& text) {
  const HANDLE hFile = CreateFileAnyLength(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  if (hFile == INVALID_HANDLE_VALUE) return ExpectedFile::kUnreadable;
  OwnedHandle file(hFile);
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.Get(), &size)) return ExpectedFile::kUnreadable;
  if (size.QuadPart > kExpectedLimit) return ExpectedFile::kTooLarge;
  std::string bytes((size_t)size.QuadPart, '\0');
  DWORD dwRead = 0;
  if (!bytes.empty() && !::ReadFile(file.Get(), &bytes[0], (DWORD)bytes.size(), &dwRead, nullptr))
    return ExpectedFile::kUnreadable;
  bytes.resize(dwRead);
  if (bytes.size() >= 2 && (BYTE)bytes[0] == 0xFF && (BYTE)bytes[1] == 0xFE) {
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    if (!wide.empty()) std::memcpy(&wide[0], bytes.data() + 2, wide.size() * sizeof(wchar_t));
    bytes = NarrowFromWide(wide.c_str(), (int)wide.size());
  }
  if (bytes.find('\0') != std::string::npos) return ExpectedFile::kNotText;
  text = bytes;
  return ExpectedFile::kRead;
}

}  // namespace

ExpectedRow::ExpectedRow(ExpectedRowHost& host) : m_host(host) {}

void ExpectedRow::Attach(CWnd& dialog, int nFieldId, int nVerdictId) {
  m_hDialog = dialog.m_hWnd;
  m_hField = ::GetDlgItem(m_hDialog, nFieldId);
  m_verdict.m_hWnd = ::GetDlgItem(m_hDialog, nVerdictId);
  if (m_verdictTip.Create(&dialog)) m_verdictTip.AddTool(&m_verdict, "");
  // A tooltip breaks its lines only when it has a width to keep to.
  m_verdictTip.SendMessage(TTM_SETMAXTIPWIDTH, 0, 640);
  ::SendMessageA(m_hField, EM_SETLIMITTEXT, kExpectedLimit, 0);
  // Dropped checksum files land on the field whatever the window accepts.
  ::SetWindowSubclass(m_hField, &ExpectedRow::FieldProc, 0, reinterpret_cast<DWORD_PTR>(this));
  ::DragAcceptFiles(m_hField, TRUE);
}

void ExpectedRow::OnTextChanged() { m_strDropNote.clear(); }

std::string ExpectedRow::Text() const { return ReadWindowText(m_hField); }

const ExpectedText& ExpectedRow::Parsed() { return ParsedFor(Text()); }

const ExpectedText& ExpectedRow::ParsedFor(const std::string& strText) {
  // The empty text's parse is the empty one the row starts with.
  if (strText != m_strParsedText) {
    m_parsed = ParseExpectedText(strText);
    m_strParsedText = strText;
    ++m_nParses;
  }
  return m_parsed;
}

void ExpectedRow::UpdateVerdict() {
  const std::string strExpected = Text();
  const VerdictSubject subject = m_host.CurrentSubject();
  const bool bSearched = m_search.bValid && m_search.nEntry == subject.nAlgorithm &&
                         m_search.strExpected == strExpected &&
                         _stricmp(m_search.strResult.c_str(), subject.strResult.c_str()) == 0;
  const CheckVerdict verdict = bSearched ? m_search.verdict
                                         : JudgeResult(ParsedFor(strExpected), subject.strFileName,
                                                       subject.nAlgorithm, subject.strResult);
  m_nVerdict = verdict.verdict;
  ::SetWindowTextA(m_verdict.m_hWnd, m_nVerdict == DigestVerdict::kMatch     ? "Match"
                                     : m_nVerdict == DigestVerdict::kNoMatch ? "No match"
                                                                             : "");
  std::string strNote = m_strDropNote;
  if (strNote.empty() && !strExpected.empty() && strExpected == m_strPickedUp)
    strNote = m_strPickUpNote;
  std::string strTip = verdict.strTooltip;
  if (!strNote.empty()) strTip = strTip.empty() ? strNote : strNote + "\n" + strTip;
  m_verdictTip.UpdateTipText(strTip.c_str(), &m_verdict);
}

bool ExpectedRow::ColourVerdict(HDC hDC, HWND hWnd) const {
  if (hWnd != m_verdict.m_hWnd) return false;
  if (m_nVerdict != DigestVerdict::kNone)
    ::SetTextColor(hDC, m_nVerdict == DigestVerdict::kMatch ? kMatchColour : kNoMatchColour);
  return true;
}

void ExpectedRow::KeepSearch(UINT nEntry, const std::string& strResult,
                             const std::string& strExpected, const CheckVerdict& verdict) {
  m_search = {true, nEntry, strResult, strExpected, verdict};
}

bool ExpectedRow::MayPickUp() const {
  // Never over what the user typed, pasted or dropped.
  const std::string strCurrent = Text();
  return strCurrent.empty() || strCurrent == m_strPickedUp;
}

bool ExpectedRow::TakePickUp(const std::string& strText, const std::string& strNote) {
  if (strText.empty() || !MayPickUp()) return false;
  // Known before the text goes in: the change it makes judges it a pick-up.
  m_strPickedUp = strText;
  m_strPickUpNote = strNote;
  ::SetWindowTextA(m_hField, strText.c_str());
  m_strPickedUp = Text();  // as the field keeps it
  UpdateVerdict();
  return true;
}

bool ExpectedRow::PickUpSidecar(const std::string& strFilePath) {
  if (!MayPickUp() || (m_strPickUpNote == kFromClipboard && !Text().empty())) return false;
  const SidecarLine line = FindSidecarLine(strFilePath);
  if (!line.bFound) {
    if (!Text().empty()) ::SetWindowTextA(m_hField, "");
    return false;
  }
  return TakePickUp(line.strLine, "Expected was taken from " + LastPathComponent(line.strSource) +
                                      ", line " + std::to_string(line.nLine) + ".");
}

bool ExpectedRow::PickUpClipboard(bool bOpening) {
  const DWORD dwSequence = ::GetClipboardSequenceNumber();
  if (!bOpening && dwSequence == m_dwClipboardSeen) return false;
  m_dwClipboardSeen = dwSequence;
  if (m_dwOwnCopy != 0 && dwSequence == m_dwOwnCopy) return false;
  if (!MayPickUp()) return false;
  const std::string strText = ClipboardText(m_hDialog, kClipboardLimit);
  if (strText.empty() || !IsPublishedDigest(strText)) return false;
  return TakePickUp(strText, kFromClipboard);
}

void ExpectedRow::NoteOwnCopy() { m_dwOwnCopy = ::GetClipboardSequenceNumber(); }

LRESULT CALLBACK ExpectedRow::FieldProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                        UINT_PTR, DWORD_PTR dwRefData) {
  if (message == WM_DROPFILES) {
    reinterpret_cast<ExpectedRow*>(dwRefData)->OnDrop(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  const LRESULT lResult = ::DefSubclassProc(hWnd, message, wParam, lParam);
  // A multi-line edit, unlike a single-line one, says nothing when its text
  // is set; the verdict follows every text, so the field says it here.
  if (message == WM_SETTEXT && lResult) {
    ::SendMessageA(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hWnd), EN_CHANGE),
                   (LPARAM)hWnd);
  }
  return lResult;
}

// A file dropped on the field gives its text, as if pasted: a checksum file.
void ExpectedRow::OnDrop(HDROP hDropInfo) {
  const std::string strPath = FirstDroppedPath(hDropInfo);
  ::DragFinish(hDropInfo);
  if (strPath.empty()) return;
  std::string strText;
  const ExpectedFile nRead = ReadExpectedFile(strPath, strText);
  if (nRead == ExpectedFile::kRead) {
    ::SetWindowTextA(m_hField, strText.c_str());
    return;
  }
  m_strDropNote = LastPathComponent(strPath) +
                  (nRead == ExpectedFile::kTooLarge  ? " was not taken: it is over 1 MiB."
                   : nRead == ExpectedFile::kNotText ? " was not taken: it is not text."
                                                     : " was not taken: it cannot be read.");
  UpdateVerdict();
}
