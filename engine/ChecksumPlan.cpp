#include "engine/ChecksumPlan.h"

#include <algorithm>
#include <vector>

#include "engine/ChecksumNames.h"
#include "engine/LineStream.h"
#include "engine/ListedPath.h"
#include "engine/RowBudget.h"

namespace {

// How often a long read looks at the stop flag.
const size_t kStopEvery = 4096;
// What the Name column shows of a line that gives no usable name.
const size_t kShownBytes = 120;
// What a digest's tooltip shows of its line, as the checksum-text reader keeps it.
const size_t kShownLine = 100;

bool IsBlankOrComment(const std::string& line) {
  const size_t at = line.find_first_not_of(" \t\v\f");
  return at == std::string::npos || line[at] == '#' || line[at] == ';';
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAllHex(const std::string& s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), IsHexDigit);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// The plain GNU line "<digest>  <name>" or "<digest> *<name>" that most
// checksum files hold a million of, read as the checksum-text reader reads
// it, without its search through the other forms. False for every line
// that is not plainly one (escapes, blanks at either end, a certutil
// header's colon, a short digest): the reader then takes it.
bool GnuLineAtOnce(const std::string& line, ExpectedDigest* pDigest) {
  const size_t end = line.find_first_of(" \t");
  if (end == std::string::npos || end < 8 || end + 2 >= line.size()) return false;
  if (line[end + 1] != ' ' && line[end + 1] != '*') return false;
  const unsigned char last = static_cast<unsigned char>(line.back());
  if (last == ' ' || last == '\t' || last == '\v' || last == '\f' || last == 0xA0 || last == ':')
    return false;
  for (size_t i = 0; i < end; ++i)
    if (!IsHexDigit(line[i])) return false;
  *pDigest = ExpectedDigest();
  pDigest->strDigits.assign(line, 0, end);
  pDigest->strName.assign(line, end + 2, std::string::npos);
  pDigest->strLine = line.size() <= kShownLine ? line : line.substr(0, kShownLine) + "...";
  return true;
}

// Whether some entry has a digest of nDigits digits.
bool SomeEntryHasDigits(size_t nDigits) {
  static const std::vector<bool> kHas = [] {
    std::vector<bool> has(2 * 64 + 1, false);
    for (UINT n = 0; n < kAlgorithmCount; ++n) has[CatalogueEntryAt(n)->HexDigits()] = true;
    return has;
  }();
  return nDigits < kHas.size() && kHas[nDigits];
}

// Why a line's digest cannot be checked by any entry; "" when it can. Sets
// the row's entry where the tag or the checksum file's name fixes it.
std::string EntryProblem(const ExpectedDigest& digest, const std::string& checksumName,
                         FileRow* pRow) {
  const size_t nDigits = digest.strDigits.size();
  if (!IsAllHex(digest.strDigits)) return "The digest is not hexadecimal";
  if (!digest.strTag.empty()) {
    const CatalogueEntry* pEntry = CatalogueEntryAt(digest.nAlgorithm);
    if (pEntry == nullptr) return "The tag " + digest.strTag + " names no entry of the list";
    if (pEntry->HexDigits() != nDigits)
      return "The tag " + digest.strTag + " names " + pEntry->pszName + ", whose digest has " +
             std::to_string(pEntry->HexDigits()) + " digits, not " + std::to_string(nDigits);
    pRow->nEntry = digest.nAlgorithm;
    return std::string();
  }
  pRow->nEntry = EntryOfChecksumName(checksumName, nDigits);
  if (pRow->nEntry == kAlgorithmCount && !SomeEntryHasDigits(nDigits))
    return "No entry has a digest of " + std::to_string(nDigits) + " digits";
  return std::string();
}

FileRow RefusedRow(const std::string& name, size_t nLine, const std::string& reason) {
  FileRow row;
  row.strName = ShownName(name, kShownBytes);
  row.nLine = nLine;
  row.result = RowResult::kRefused;
  row.strReason = reason;
  return row;
}

}  // namespace

bool ParseChecksumLine(const std::string& line, size_t nLine, ExpectedDigest* pDigest) {
  if (!GnuLineAtOnce(line, pDigest)) {
    // A comment line first: the reader then never takes the whole text for
    // one bare digest, so a name made of hex digits stays a name.
    const ExpectedText parsed = ParseExpectedText("#\n" + line);
    if (parsed.digests.empty()) return false;
    *pDigest = parsed.digests.front();
  }
  pDigest->nLine = nLine;
  return true;
}

bool ReadChecksumPlan(const std::string& path, ChecksumPlan* pPlan, DWORD* pdwError,
                      const std::atomic<int>* pStop) {
  *pPlan = ChecksumPlan();
  *pdwError = 0;
  const size_t slash = path.find_last_of("\\/");
  FileSet& set = pPlan->set;
  set.strFolder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  set.strChecksumFile = slash == std::string::npos ? path : path.substr(slash + 1);

  LineStream stream;
  if (!stream.Open(path)) {
    *pdwError = stream.LastError();
    return false;
  }
  std::string line;
  bool bTooLong = false;
  while (stream.Next(&line, &bTooLong)) {
    const size_t nLine = stream.LineNumber();
    pPlan->nLines = nLine;
    if (pStop != nullptr && nLine % kStopEvery == 0 && pStop->load() != 0) {
      *pdwError = ERROR_CANCELLED;
      return false;
    }
    FileRow row;
    ExpectedDigest digest;
    if (bTooLong) {
      row = RefusedRow(line, nLine,
                       "A line longer than " + std::to_string(LineStream::kMaxLineBytes / 1024) +
                           " KiB is not read");
    } else if (IsBlankOrComment(line)) {
      continue;
    } else if (!ParseChecksumLine(line, nLine, &digest) || digest.strName.empty()) {
      if (pPlan->nOtherLines++ == 0) pPlan->nFirstOtherLine = nLine;
      continue;
    } else {
      row.nLine = nLine;
      row.strExpected = Lower(digest.strDigits);
      const ListedPath listed = ResolveListedPath(set.strFolder, digest.strName);
      const std::string problem = EntryProblem(digest, set.strChecksumFile, &row);
      if (listed.bRefused || !problem.empty()) {
        row.result = RowResult::kRefused;
        row.strName = ShownName(digest.strName, kShownBytes);
        row.strReason = listed.bRefused ? listed.strRule : problem;
      } else {
        row.strName = listed.strName;
      }
    }
    if (!RoomForOneMore(set.rows)) {
      set.rows = std::vector<FileRow>();
      *pdwError = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
    set.rows.push_back(std::move(row));
  }
  pPlan->bUtf16 = stream.IsUtf16();
  *pdwError = stream.LastError();
  return *pdwError == 0;
}

std::string EmptyPlanText(const ChecksumPlan& plan) {
  if (!plan.set.rows.empty()) return std::string();
  const std::string& name = plan.set.strChecksumFile;
  if (plan.nLines == 0) return name + " is empty";
  if (plan.nOtherLines == 0) return "No line of " + name + " names a file";
  return "No line of " + name + " is a checksum line (line " +
         std::to_string(plan.nFirstOtherLine) + " is the first that is not)";
}
