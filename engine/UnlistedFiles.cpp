#include "engine/UnlistedFiles.h"

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/FolderWalk.h"
#include "engine/RowBudget.h"

namespace {

// A name as the file system compares it: '\' between segments, the
// invariant upper case.
std::wstring NameKey(const std::string& name) {
  const int n =
      ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, name.data(), static_cast<int>(name.size()), &wide[0], n);
    ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, wide.data(), n, &wide[0], n);
  }
  for (wchar_t& c : wide)
    if (c == L'/') c = L'\\';
  return wide;
}

}  // namespace

bool AddUnlistedRows(FileSet* pSet, DWORD* pdwError, const std::atomic<int>* pStop) {
  std::vector<WalkEntry> entries;
  if (!WalkFolder(pSet->strFolder, &entries, pdwError, pStop)) return false;
  std::unordered_set<std::wstring> named;
  for (const FileRow& row : pSet->rows)
    if (row.result != RowResult::kRefused) named.insert(NameKey(row.strName));
  const std::wstring self = NameKey(pSet->strChecksumFile);
  std::vector<FileRow> added;
  for (const WalkEntry& entry : entries) {
    if (entry.kind == WalkEntry::Kind::kLink) continue;
    const std::wstring key = NameKey(entry.strName);
    if (key == self || named.count(key) != 0) continue;
    if (!RoomForOneMore(added) || !RowsFit(pSet->rows.size() + added.size(),
                                           pSet->rows.size() + added.size(), sizeof(FileRow))) {
      *pdwError = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
    added.push_back(RowOfWalkEntry(entry, std::string(), RowResult::kNotListed));
  }
  pSet->rows.reserve(pSet->rows.size() + added.size());
  for (FileRow& row : added) pSet->rows.push_back(std::move(row));
  return true;
}

void MarkMoved(FileSet* pSet) {
  std::vector<FileRow>& rows = pSet->rows;
  // The Missing rows by expected digest, in list order.
  struct Lines {
    std::vector<size_t> rows;
    size_t nNext = 0;  // the rows before it have moved
  };
  std::unordered_map<std::string, Lines> missing;
  for (size_t i = 0; i < rows.size(); ++i)
    if (rows[i].result == RowResult::kMissing) missing[rows[i].strExpected].rows.push_back(i);
  if (missing.empty()) return;
  std::vector<bool> moved(rows.size(), false);
  for (FileRow& row : rows) {
    if (row.result != RowResult::kNotListed || row.strDigest.empty()) continue;
    auto found = missing.find(row.strDigest);
    if (found == missing.end()) continue;
    Lines& lines = found->second;
    while (lines.nNext < lines.rows.size() && moved[lines.rows[lines.nNext]]) ++lines.nNext;
    for (size_t k = lines.nNext; k < lines.rows.size(); ++k) {
      if (moved[lines.rows[k]]) continue;
      FileRow& listed = rows[lines.rows[k]];
      const bool bSameEntry =
          listed.nEntry == row.nEntry ||
          (CatalogueEntryAt(listed.nEntry) == nullptr && CatalogueEntryAt(row.nEntry) != nullptr &&
           CatalogueEntryAt(row.nEntry)->HexDigits() == listed.strExpected.size());
      if (!bSameEntry) continue;
      row.result = RowResult::kMoved;
      row.strReason = listed.strName;
      listed.strReason = "Moved to " + row.strName;
      moved[lines.rows[k]] = true;
      break;
    }
  }
}
