#pragma once

#include <windows.h>

#include <string>

// Files for the tests, made in the Windows temp folder and removed again.
inline std::string TempPath(const std::string& name) {
  char dir[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, dir);
  return std::string(dir) + "vexorin-" + std::to_string(::GetCurrentProcessId()) + "-" + name;
}

// Byte i of the pattern files: varies within and across granules and wraps
// at no power of two, so misplaced copies show.
inline char PatternByte(unsigned long long i) {
  return static_cast<char>((i * 131 + (i >> 12) * 7 + (i >> 20)) % 251);
}

inline std::string Pattern(size_t size) {
  std::string data(size, '\0');
  for (size_t i = 0; i < size; ++i) data[i] = PatternByte(i);
  return data;
}

class TempFile {
 public:
  TempFile(const std::string& name, const std::string& content) : m_path(TempPath(name)) {
    HANDLE h = ::CreateFileA(m_path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    if (!content.empty()) ::WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr);
    ::CloseHandle(h);
  }
  ~TempFile() { ::DeleteFileA(m_path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* Path() const { return m_path.c_str(); }

  // True when nobody else holds the file: an exclusive open succeeds.
  bool IsFree() const {
    HANDLE h = ::CreateFileA(m_path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    ::CloseHandle(h);
    return true;
  }

 private:
  std::string m_path;
};

// A sparse file of the given size with a few short stretches of data
// written in it; everything else reads as zero.
struct Stretch {
  unsigned long long offset;
  std::string bytes;
};

inline bool MakeSparseFile(const char* path, unsigned long long size, const Stretch* stretches,
                           size_t count) {
  HANDLE h =
      ::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  bool ok = ::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
  for (size_t i = 0; ok && i < count; ++i) {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(stretches[i].offset);
    DWORD written = 0;
    ok = ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) &&
         ::WriteFile(h, stretches[i].bytes.data(), DWORD(stretches[i].bytes.size()), &written,
                     nullptr) &&
         written == stretches[i].bytes.size();
  }
  ::CloseHandle(h);
  return ok;
}
