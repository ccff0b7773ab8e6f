#include "engine/RowEdits.h"

#include <algorithm>

void ResetRowsForEntry(FileSet* pSet, UINT nEntry) {
  for (FileRow& row : pSet->rows) {
    const bool bFileRead = row.result == RowResult::kPending || row.result == RowResult::kHashed ||
                           (row.result == RowResult::kUnreadable && row.strReason.empty());
    if (!bFileRead) continue;
    row.result = RowResult::kPending;
    row.nEntry = nEntry;
    row.strDigest.clear();
    row.dwError = 0;
  }
}

void DropUnlistedRows(FileSet* pSet) {
  std::vector<FileRow>& rows = pSet->rows;
  rows.erase(std::remove_if(rows.begin(), rows.end(),
                            [](const FileRow& row) {
                              return row.result == RowResult::kNotListed ||
                                     row.result == RowResult::kMoved;
                            }),
             rows.end());
  for (FileRow& row : rows)
    if (row.result == RowResult::kMissing) row.strReason.clear();
}

FileSet NamesOnly(const FileSet& set) {
  FileSet names;
  names.strFolder = set.strFolder;
  names.strChecksumFile = set.strChecksumFile;
  names.rows.resize(set.rows.size());
  for (size_t i = 0; i < set.rows.size(); ++i) {
    names.rows[i].strName = set.rows[i].strName;
    names.rows[i].result = set.rows[i].result;
  }
  return names;
}
