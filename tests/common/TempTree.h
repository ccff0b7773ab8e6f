#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "fileio/LongPath.h"
#include "tests/common/TempFile.h"

// A folder of files for a test, in the temp folder under a name of its own;
// removed again with everything in it, subfolders included.
class TempTree {
 public:
  explicit TempTree(const std::string& name) : m_root(TempPath(name)) {
    ::CreateDirectoryW(WideExtendedLengthPath(m_root).c_str(), nullptr);
  }
  ~TempTree() { Remove(m_root); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Root() const { return m_root; }
  std::string PathOf(const std::string& relative) const { return m_root + "\\" + relative; }

  // Writes a file at a path relative to the root ('\' separators), making
  // its folders; false when it cannot.
  bool Write(const std::string& relative, const std::string& content) const {
    for (size_t n = relative.find('\\'); n != std::string::npos; n = relative.find('\\', n + 1))
      ::CreateDirectoryW(WideExtendedLengthPath(PathOf(relative.substr(0, n))).c_str(), nullptr);
    HANDLE h = CreateFileAnyLength(PathOf(relative).c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool bWritten =
        content.empty() || (::WriteFile(h, content.data(), DWORD(content.size()), &written,
                                        nullptr) &&
                            written == content.size());
    ::CloseHandle(h);
    return bWritten;
  }

 private:
  static void Remove(const std::string& folder) {
    WIN32_FIND_DATAW found;
    const std::wstring pattern = WideExtendedLengthPath(folder + "\\*");
    HANDLE hFind = ::FindFirstFileW(pattern.c_str(), &found);
    if (hFind != INVALID_HANDLE_VALUE) {
      do {
        const std::string name = NarrowFromWide(found.cFileName, -1);
        if (name == "." || name == "..") continue;
        const std::string path = folder + "\\" + name;
        if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
          Remove(path);
        else if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
          ::RemoveDirectoryW(WideExtendedLengthPath(path).c_str());
        else
          ::DeleteFileW(WideExtendedLengthPath(path).c_str());
      } while (::FindNextFileW(hFind, &found));
      ::FindClose(hFind);
    }
    ::RemoveDirectoryW(WideExtendedLengthPath(folder).c_str());
  }

  std::string m_root;
};
