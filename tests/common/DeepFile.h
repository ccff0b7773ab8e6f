#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "fileio/LongPath.h"

// A file at the end of folders nested under base until the file's full
// path passes nMinLength bytes; made through the wide calls in the extended
// form, so it works whatever the system allows for plain paths, and removed
// again with its folders.
class DeepFile {
 public:
  DeepFile(const std::string& base, const std::string& name, const std::string& content,
           size_t nMinLength = 300) {
    std::string path = base;
    while (true) {
      if (!::CreateDirectoryW(WideExtendedLengthPath(path).c_str(), nullptr)) return;
      m_folders.push_back(path);
      if (path.size() + 1 + name.size() > nMinLength) break;
      path += "\\folder-" + std::to_string(m_folders.size()) + "-of-a-long-path";
    }
    m_path = path + "\\" + name;
    HANDLE h =
        CreateFileAnyLength(m_path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    m_bMade = content.empty() ||
              (::WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr) &&
               written == content.size());
    ::CloseHandle(h);
  }
  ~DeepFile() {
    if (!m_path.empty()) ::DeleteFileW(WideExtendedLengthPath(m_path).c_str());
    for (auto it = m_folders.rbegin(); it != m_folders.rend(); ++it)
      ::RemoveDirectoryW(WideExtendedLengthPath(*it).c_str());
  }
  DeepFile(const DeepFile&) = delete;
  DeepFile& operator=(const DeepFile&) = delete;

  bool Made() const { return m_bMade; }
  const std::string& Path() const { return m_path; }
  // The innermost folder, with its closing backslash.
  std::string Folder() const { return m_folders.empty() ? std::string() : m_folders.back() + "\\"; }

 private:
  std::vector<std::string> m_folders;
  std::string m_path;
  bool m_bMade = false;
};
