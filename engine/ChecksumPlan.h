#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>

#include "engine/ExpectedText.h"
#include "engine/FileRows.h"

// The plan of a checksum file: one row per line that gives a digest and a
// name, the name resolved against the checksum file's folder by the rules
// of ListedPath.h, the entry from the line's tag, else from the checksum
// file's name (ChecksumNames.h), else left to the digit count
// (EntryChooser.h). The file is read as a stream (LineStream.h), each line
// by the checksum-text reader of the Expected field, so both read the
// same forms: GNU ("<digest>  <name>", "*" and "\" escapes), BSD and
// OpenSSL tags, SFV. certutil and Get-FileHash output, which spans lines,
// is not a checksum file and gives no rows. Memory is bounded apart from
// the rows; time is linear in the file's size.

// One line of checksum text by the Expected field's reader: the digest it
// gives, if any (nLine set to nLine). A line that is a bare digest gives
// one without a name; a line whose name looks like hex stays a name.
bool ParseChecksumLine(const std::string& line, size_t nLine, ExpectedDigest* pDigest);

struct ChecksumPlan {
  FileSet set;                 // strFolder, strChecksumFile and the rows, in line order
  size_t nLines = 0;           // lines read
  size_t nOtherLines = 0;      // neither blank, comment nor a checksum line with a name
  size_t nFirstOtherLine = 0;  // the first of them; 0 when none
  bool bUtf16 = false;         // the file was UTF-16 (with its byte order mark)
};

// Reads the checksum file at path (UTF-8, any length) into *pPlan. Rows:
// - Pending, with strName, strExpected (lower case), nLine and nEntry (the
//   tag's or the name's entry, else kAlgorithmCount);
// - Refused, never opened, strReason the rule: a name ListedPath refuses
//   (strName then the line's name made fit to show), a tag that names no
//   entry or another entry's length, a digit count no entry has, text that
//   is not hexadecimal, a line longer than LineStream::kMaxLineBytes.
// False when the file could not be opened or read (*pdwError the system's
// code; rows read so far kept), when *pStop became set (ERROR_CANCELLED),
// or when the set is too large for memory (ERROR_NOT_ENOUGH_MEMORY, rows
// dropped). True otherwise, also with no rows (nOtherLines tells why).
bool ReadChecksumPlan(const std::string& path, ChecksumPlan* pPlan, DWORD* pdwError,
                      const std::atomic<int>* pStop = nullptr);

// The notice for a plan without rows, or "" when it has some: "No line of
// SHA256SUMS is a checksum line" and the like.
std::string EmptyPlanText(const ChecksumPlan& plan);
