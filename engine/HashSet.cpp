// AddPathsToSet (FolderWalk.h): the rows of a selection or a dropped folder.

#include <algorithm>

#include "engine/FolderWalk.h"
#include "engine/RowBudget.h"
#include "fileio/LongPath.h"

namespace {

std::string Canonical(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  while (path.size() > 3 && path.back() == '\\') path.pop_back();
  if (path.size() == 3 && path[1] == ':' && path.back() == '\\') path.pop_back();
  return path;
}

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// The longest folder both paths lie in, segment by segment, letter case
// aside; "" when they share none (other drives).
std::string CommonFolder(const std::string& a, const std::string& b) {
  size_t ia = 0, ib = 0, nCommon = 0;
  while (true) {
    size_t ea = a.find('\\', ia), eb = b.find('\\', ib);
    if (ea == std::string::npos) ea = a.size();
    if (eb == std::string::npos) eb = b.size();
    if (!SamePathName(a.substr(ia, ea - ia), b.substr(ib, eb - ib))) break;
    nCommon = ea;
    if (ea == a.size() || eb == b.size()) break;
    ia = ea + 1;
    ib = eb + 1;
  }
  return a.substr(0, nCommon);
}

bool IsUnder(const std::string& path, const std::string& folder) {
  return folder.empty() || (path.size() > folder.size() && path[folder.size()] == '\\' &&
                            SamePathName(path.substr(0, folder.size()), folder));
}

std::string RelativeTo(const std::string& path, const std::string& folder) {
  return folder.empty() ? path : path.substr(folder.size() + 1);
}

}  // namespace

bool AddPathsToSet(FileSet* pSet, const std::vector<std::string>& paths, UINT nEntry,
                   DWORD* pdwError, const std::atomic<int>* pStop) {
  *pdwError = 0;
  std::vector<std::string> canonical;
  std::vector<DWORD> attributes, errors;
  for (const std::string& path : paths) {
    canonical.push_back(Canonical(path));
    attributes.push_back(GetFileAttributesAnyLength(canonical.back().c_str()));
    errors.push_back(attributes.back() == INVALID_FILE_ATTRIBUTES ? ::GetLastError() : 0);
  }
  if (canonical.empty()) return true;
  // The folder the rows share: a folder given alone into an empty set is
  // that folder; else the common folder of every path's parent.
  const bool bOneFolder = pSet->rows.empty() && canonical.size() == 1 &&
                          attributes[0] != INVALID_FILE_ATTRIBUTES &&
                          (attributes[0] & FILE_ATTRIBUTE_DIRECTORY);
  std::string base = bOneFolder ? canonical[0] : ParentOf(canonical[0]);
  if (!pSet->rows.empty()) base = CommonFolder(pSet->strFolder, base);
  for (const std::string& path : canonical)
    if (!IsUnder(path, base) && !SamePathName(path, base))
      base = CommonFolder(base, ParentOf(path));

  std::vector<FileRow> added;
  for (size_t i = 0; i < canonical.size(); ++i) {
    const std::string& path = canonical[i];
    const std::string prefix = path == base ? std::string() : RelativeTo(path, base) + "\\";
    if (attributes[i] == INVALID_FILE_ATTRIBUTES || !(attributes[i] & FILE_ATTRIBUTE_DIRECTORY)) {
      FileRow row;
      row.strName = RelativeTo(path, base);
      if (attributes[i] == INVALID_FILE_ATTRIBUTES) {
        row.result = RowResult::kUnreadable;
        row.dwError = errors[i];
      }
      if (!RoomForOneMore(added)) {
        *pdwError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
      }
      added.push_back(std::move(row));
      continue;
    }
    std::vector<WalkEntry> entries;
    DWORD dwError = 0;
    if (!WalkFolder(path, &entries, &dwError, pStop)) {
      if (dwError == ERROR_CANCELLED || dwError == ERROR_NOT_ENOUGH_MEMORY) {
        *pdwError = dwError;
        return false;
      }
      WalkEntry folder;
      folder.kind = WalkEntry::Kind::kUnlistable;
      folder.dwError = dwError;
      entries.assign(1, folder);
      if (prefix.empty()) entries[0].strName = ".";
    }
    for (const WalkEntry& entry : entries) {
      if (!RoomForOneMore(added)) {
        *pdwError = ERROR_NOT_ENOUGH_MEMORY;
        return false;
      }
      added.push_back(RowOfWalkEntry(entry, prefix));
      // A folder that cannot be listed is named by its own path.
      if (entry.strName.empty() && !prefix.empty()) added.back().strName.pop_back();
    }
  }
  const size_t nTotal = pSet->rows.size() + added.size();
  if (nTotal > pSet->rows.capacity() && !RowsFit(nTotal, nTotal, sizeof(FileRow))) {
    *pdwError = ERROR_NOT_ENOUGH_MEMORY;
    return false;
  }
  if (!pSet->rows.empty() && !SamePathName(base, pSet->strFolder)) {
    // The set's folder moves up: its rows' names take the part between.
    const std::string between = RelativeTo(pSet->strFolder, base) + "\\";
    for (FileRow& row : pSet->rows) row.strName = between + row.strName;
  }
  pSet->strFolder = base;
  pSet->rows.reserve(nTotal);
  for (FileRow& row : added) {
    if (row.result == RowResult::kPending) row.nEntry = nEntry;
    pSet->rows.push_back(std::move(row));
  }
  return true;
}
