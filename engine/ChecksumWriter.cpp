#include "engine/ChecksumWriter.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "engine/ChecksumNames.h"
#include "engine/FolderWalk.h"
#include "engine/RowBudget.h"
#include "fileio/LongPath.h"
#include "fileio/OwnedHandle.h"

namespace {

const size_t kWriteBytes = 1 << 20;

std::string ParentOf(const std::string& path) {
  const size_t slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// A row's name relative to folder; false when it is not under it.
bool RelativeName(const std::string& full, const std::string& folder, std::string* pName) {
  if (full.size() <= folder.size() + 1 ||
      (full[folder.size()] != '\\' && full[folder.size()] != '/') ||
      !SamePathName(full.substr(0, folder.size()), folder))
    return false;
  *pName = full.substr(folder.size() + 1);
  std::replace(pName->begin(), pName->end(), '\\', '/');
  return true;
}

// The line of one row, '/' already between its segments.
bool AppendLine(const FileRow& row, const std::string& name, ChecksumForm form,
                std::string* pText) {
  if (form == ChecksumForm::kBsdTag) {
    if (name.find('\n') != std::string::npos) return false;
    *pText += BsdTagOf(row.nEntry) + " (" + name + ") = " + row.strDigest + "\n";
    return true;
  }
  // GNU tools mark a name with '\' or a line break by a '\' before the line.
  if (name.find_first_of("\\\n") == std::string::npos) {
    *pText += row.strDigest + "  " + name + "\n";
    return true;
  }
  *pText += "\\" + row.strDigest + "  ";
  for (char c : name) *pText += c == '\\' ? "\\\\" : (c == '\n' ? "\\n" : std::string(1, c));
  *pText += "\n";
  return true;
}

// The rows to write, by name: (name, row index).
bool SortedLines(const FileSet& set, const std::string& targetPath,
                 std::vector<std::pair<std::string, size_t>>* pLines, DWORD* pdwError) {
  const std::string folder = ParentOf(targetPath);
  for (size_t i = 0; i < set.rows.size(); ++i) {
    const FileRow& row = set.rows[i];
    if (row.strDigest.empty() || CatalogueEntryAt(row.nEntry) == nullptr) continue;
    const std::string full = set.FullPath(row);
    if (SamePathName(full, targetPath)) continue;  // never itself
    std::string name;
    if (!RelativeName(full, folder, &name)) {
      *pdwError = ERROR_BAD_PATHNAME;
      return false;
    }
    if (!RoomForOneMore(*pLines)) {
      *pdwError = ERROR_NOT_ENOUGH_MEMORY;
      return false;
    }
    pLines->emplace_back(std::move(name), i);
  }
  // Rows from a walk come in this order already: one look instead of a sort.
  const auto byName = [](const std::pair<std::string, size_t>& a,
                         const std::pair<std::string, size_t>& b) {
    return ComparePathNames(a.first, b.first) < 0;
  };
  if (!std::is_sorted(pLines->begin(), pLines->end(), byName))
    std::sort(pLines->begin(), pLines->end(), byName);
  return true;
}

// A new file beside the target, removed again unless it was moved there.
class TemporaryFile {
 public:
  bool Create(const std::string& targetPath) {
    for (int n = 0; n < 100; ++n) {
      m_path = targetPath + ".~" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(n) + ".tmp";
      m_file.Reset(::CreateFileW(WideExtendedLengthPath(m_path).c_str(), GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
      if (m_file.Get() != INVALID_HANDLE_VALUE) return m_bCreated = true;
      m_file.Release();
      const DWORD dwError = ::GetLastError();
      if (dwError != ERROR_FILE_EXISTS && dwError != ERROR_ALREADY_EXISTS) return false;
    }
    return false;
  }
  ~TemporaryFile() {
    m_file.Reset();
    if (m_bCreated && !m_bMoved) ::DeleteFileW(WideExtendedLengthPath(m_path).c_str());
  }
  bool Write(const std::string& bytes) {
    DWORD dwWritten = 0;
    return bytes.empty() || (::WriteFile(m_file.Get(), bytes.data(),
                                         static_cast<DWORD>(bytes.size()), &dwWritten, nullptr) &&
                             dwWritten == bytes.size());
  }
  bool Close() {
    const bool bFlushed = ::FlushFileBuffers(m_file.Get()) != 0;
    const DWORD dwError = ::GetLastError();
    m_file.Reset();
    ::SetLastError(dwError);
    return bFlushed;
  }
  bool MoveOver(const std::string& targetPath) {
    if (::MoveFileExW(WideExtendedLengthPath(m_path).c_str(),
                      WideExtendedLengthPath(targetPath).c_str(),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      m_bMoved = true;
    return m_bMoved;
  }

 private:
  std::string m_path;
  OwnedHandle m_file;
  bool m_bCreated = false;
  bool m_bMoved = false;
};

}  // namespace

bool ChecksumFileText(const FileSet& set, const std::string& targetPath, ChecksumForm form,
                      std::string* pText, DWORD* pdwError) {
  *pdwError = 0;
  pText->clear();
  std::vector<std::pair<std::string, size_t>> lines;
  if (!SortedLines(set, targetPath, &lines, pdwError)) return false;
  for (const auto& line : lines) {
    if (!AppendLine(set.rows[line.second], line.first, form, pText)) {
      *pdwError = ERROR_BAD_PATHNAME;
      return false;
    }
  }
  return true;
}

bool SaveChecksumFile(const FileSet& set, const std::string& targetPath, ChecksumForm form,
                      DWORD* pdwError) {
  *pdwError = 0;
  std::vector<std::pair<std::string, size_t>> lines;
  if (!SortedLines(set, targetPath, &lines, pdwError)) return false;
  TemporaryFile file;
  if (!file.Create(targetPath)) {
    *pdwError = ::GetLastError();
    return false;
  }
  std::string text;
  for (size_t i = 0; i <= lines.size(); ++i) {
    if (i < lines.size() && !AppendLine(set.rows[lines[i].second], lines[i].first, form, &text)) {
      *pdwError = ERROR_BAD_PATHNAME;
      return false;
    }
    if ((i == lines.size() || text.size() >= kWriteBytes) && !file.Write(text)) {
      *pdwError = ::GetLastError() ? ::GetLastError() : ERROR_WRITE_FAULT;
      return false;
    }
    if (text.size() >= kWriteBytes) text.clear();
  }
  if (!file.Close() || !file.MoveOver(targetPath)) {
    *pdwError = ::GetLastError();
    return false;
  }
  return true;
}

UINT CommonEntry(const FileSet& set) {
  UINT nCommon = kAlgorithmCount;
  for (const FileRow& row : set.rows) {
    if (row.strDigest.empty() || CatalogueEntryAt(row.nEntry) == nullptr) continue;
    if (nCommon != kAlgorithmCount && nCommon != row.nEntry) return kAlgorithmCount;
    nCommon = row.nEntry;
  }
  return nCommon;
}

std::string DefaultSavePath(const FileSet& set) {
  const std::string name = ChecksumFileNameFor(CommonEntry(set));
  return set.strFolder.empty() ? name : set.strFolder + "\\" + name;
}
