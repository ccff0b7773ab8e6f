#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

#include "engine/Catalogue.h"

// The rows of a many-files check or hash, with the texts the list shows:
// results, tooltips, the summary and the Copy text. No window: the list
// window reads these, the run and EntryChooser (EntryChooser.h) write them.
// Threads: nothing here locks; the owner of a FileSet decides who writes a
// row when (the run settles each row once, on one thread).

enum class RowResult : unsigned char {
  kPending,     // not settled yet: ""
  kHashed,      // hashed, nothing to compare with: ""
  kMatch,       // "Match"
  kNoMatch,     // "No match"
  kMissing,     // "Missing": the named file is not there
  kUnreadable,  // "Unreadable": dwError says why
  kRefused,     // "Refused": never opened; strReason gives the rule
  kNotListed,   // "Not listed": under the folder, named by no line
  kMoved,  // "Moved": not listed, its digest a Missing line's; strReason names that line's file
};

// The Result column's text: "", "", "Match", "No match", "Missing",
// "Unreadable", "Refused", "Not listed", "Moved".
const char* ResultText(RowResult result);

// Whether the result is shown in dark green (Match) rather than dark red;
// "" results have no colour.
bool IsGoodResult(RowResult result);

struct FileRow {
  std::string strName;      // relative to FileSet::strFolder, '\' separators: the Name column
  std::string strExpected;  // hex digits the checksum line gives, lower case; empty when hashing
  std::string strDigest;    // the computed digest, lower case; empty until hashed
  std::string strReason;    // the rule (Refused), the other row's name (Moved, Missing), a note
  ULONGLONG qwSize = 0;     // bytes, where known (the walk, the run)
  size_t nLine = 0;         // the checksum file's line; 0 for rows not from a line
  UINT nEntry = kAlgorithmCount;  // the algorithm; kAlgorithmCount while the digit count decides
  DWORD dwError = 0;              // Unreadable, Missing: the system's code
  RowResult result = RowResult::kPending;

  // Whether a run reads the file: pending rows, and not-listed rows not yet
  // hashed (refused rows never).
  bool NeedsRun() const {
    return result == RowResult::kPending || (result == RowResult::kNotListed && strDigest.empty());
  }
};

// A set of rows that share a folder: a checksum file's, a dropped folder, or
// the folder the paths of a selection have in common.
struct FileSet {
  std::string strFolder;        // full path, UTF-8, no closing '\'; empty: names are full paths
  std::string strChecksumFile;  // verifying: the checksum file's name in strFolder; else empty
  std::vector<FileRow> rows;    // in list order

  // The full path of a row: strFolder + '\' + strName.
  std::string FullPath(const FileRow& row) const;
};

// The Algorithm column: the entry's list text, "" while it is not known.
std::string AlgorithmText(const FileRow& row);

// A row's tooltip: "Expected <digits>" on No match (with the entries tried
// when the digit count decided), the system's message text on Unreadable
// and Missing, the rule on Refused, "Listed as <name>" on Moved; else "".
std::string RowTooltip(const FileRow& row);

// The system's message text for a Windows error code, without the closing
// line break; "Error <code>" when the system has none.
std::string SystemMessageText(DWORD dwError);

// Rows by result, for the summary. Add and Remove let a window keep the
// counts as rows settle, without a pass over a million rows each time.
struct RowCounts {
  size_t nRows = 0;
  size_t nMatch = 0, nNoMatch = 0, nMissing = 0, nUnreadable = 0, nRefused = 0;
  size_t nNotListed = 0, nMoved = 0;
  void Add(RowResult result, int nSign = 1);
  void Remove(RowResult result) { Add(result, -1); }
};
RowCounts CountRows(const std::vector<FileRow>& rows);

// What the summary says of a run.
struct RunFigures {
  bool bRunning = false;
  ULONGLONG qwBytesPerSecond = 0;   // while running; 0: not known yet (left out)
  ULONGLONG qwSecondsLeft = ~0ULL;  // while running; ~0: not known yet (left out)
  bool bStopped = false;            // a Stop ended the run
};

// "N files: A match, B no match, C missing, D unreadable, E refused, F not
// listed, G moved": N counts every row; a part that is 0 is left out, and
// the colon with them when none is left ("120 files"; "1 file"). While
// running ", 312 MiB/s, 0:41 left" follows (m:ss, h:mm:ss from an hour on;
// a figure not known yet is left out); after a Stop ", stopped".
std::string SummaryText(const RowCounts& counts, const RunFigures& figures);

// The Copy text of rows[i] for each i of selected, or of all rows when
// selected is empty: one row a line, each line ended by CRLF, fields
// Result, Algorithm, Digest, Name separated by tabs. Indexes outside rows
// are skipped.
std::string CopyText(const std::vector<FileRow>& rows, const std::vector<size_t>& selected);
