#pragma once

#include <windows.h>

#include <string>

#include "fileio/LongPath.h"
#include "tests/common/TempFile.h"

// A folder of files for a test, made in the temp folder (the name carries
// the process id) and removed with everything in it when the test ends;
// links in it are removed, never followed. Paths of any length.
class TempTree {
 public:
  explicit TempTree(const std::string& name) : m_root(TempPath(name)) {
    RemoveAll(m_root);
    ::CreateDirectoryW(WideExtendedLengthPath(m_root).c_str(), nullptr);
  }
  ~TempTree() { RemoveAll(m_root); }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::string& Root() const { return m_root; }
  std::string Path(const std::string& relative) const { return m_root + "\\" + relative; }

  // A folder and the folders above it.
  bool Folder(const std::string& relative) const {
    for (size_t at = 0; at != std::string::npos;) {
      at = relative.find('\\', at + 1);
      const std::string path = Path(relative.substr(0, at));
      if (!::CreateDirectoryW(WideExtendedLengthPath(path).c_str(), nullptr) &&
          ::GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    }
    return true;
  }

  // A file with these bytes, its folders made first.
  bool File(const std::string& relative, const std::string& bytes) const {
    const size_t slash = relative.find_last_of('\\');
    if (slash != std::string::npos && !Folder(relative.substr(0, slash))) return false;
    HANDLE h = ::CreateFileW(WideExtendedLengthPath(Path(relative)).c_str(), GENERIC_WRITE, 0,
                             nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const bool ok =
        bytes.empty() || (::WriteFile(h, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
                          written == bytes.size());
    ::CloseHandle(h);
    return ok;
  }

  // The bytes of a file; "<none>" when it cannot be read.
  std::string Read(const std::string& relative) const {
    HANDLE h =
        ::CreateFileW(WideExtendedLengthPath(Path(relative)).c_str(), GENERIC_READ,
                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<none>";
    std::string bytes;
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(h, buffer, sizeof(buffer), &read, nullptr) && read != 0)
      bytes.append(buffer, read);
    ::CloseHandle(h);
    return bytes;
  }

  static void RemoveAll(const std::string& path) {
    const std::wstring wide = WideExtendedLengthPath(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesW(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      ::DeleteFileW(wide.c_str());
      return;
    }
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
      WIN32_FIND_DATAW data;
      HANDLE hFind = ::FindFirstFileW(WideExtendedLengthPath(path + "\\*").c_str(), &data);
      if (hFind != INVALID_HANDLE_VALUE) {
        do {
          const std::wstring name = data.cFileName;
          if (name != L"." && name != L"..")
            RemoveAll(path + "\\" + NarrowFromWide(data.cFileName, -1));
        } while (::FindNextFileW(hFind, &data));
        ::FindClose(hFind);
      }
    }
    ::RemoveDirectoryW(wide.c_str());
  }

 private:
  std::string m_root;
};
