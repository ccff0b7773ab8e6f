#pragma once

#include <windows.h>

#include <cstring>
#include <string>

#include "fileio/LongPath.h"
#include "tests/common/GuiTestSupport.h"

// Files for the tests, made in the Windows temp folder and removed again.
// The names carry the process id, so suites that run at once never share one.
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
    m_bWritten = content.empty() ||
                 (::WriteFile(h, content.data(), DWORD(content.size()), &written, nullptr) &&
                  written == content.size());
    ::CloseHandle(h);
  }
  ~TempFile() { ::DeleteFileA(m_path.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  const char* Path() const { return m_path.c_str(); }
  bool Written() const { return m_bWritten; }

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
  bool m_bWritten = false;
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

inline ULONGLONG FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return ~0ULL;
  return (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The host's path of a Windows path of any length, as Wine names it; empty
// elsewhere or when it has none.
inline std::string HostPath(const std::string& path) {
  typedef char*(CDECL * UnixNameFn)(LPCWSTR);
  FARPROC pfn = ::GetProcAddress(::GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
  if (pfn == nullptr) return std::string();
  UnixNameFn pfnUnixName;
  static_assert(sizeof(pfnUnixName) == sizeof(pfn), "function pointer sizes");
  std::memcpy(&pfnUnixName, &pfn, sizeof(pfn));
  char* pszUnix = pfnUnixName(WideExtendedLengthPath(path).c_str());
  if (pszUnix == nullptr) return std::string();
  const std::string host = pszUnix;
  ::HeapFree(::GetProcessHeap(), 0, pszUnix);
  return host;
}

// Starts a host program under Wine. It starts without a Windows process to
// wait for, so the caller waits for what it changes.
inline bool StartHostCommand(std::string command) {
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!::CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                        &pi))
    return false;
  if (pi.hProcess != nullptr) ::CloseHandle(pi.hProcess);
  if (pi.hThread != nullptr) ::CloseHandle(pi.hThread);
  return true;
}

// The code of a page that cannot be read: ERROR_NOACCESS where the platform
// names the address, ERROR_READ_FAULT under an emulator that cannot.
inline bool IsReadFailure(DWORD dwError) {
  return dwError == ERROR_NOACCESS || dwError == ERROR_READ_FAULT;
}

// Cuts a file short or lengthens it (with zeros) from outside Windows, as
// another program on the host (or a dropped share) would, while this
// process or another may still have it open: Windows refuses SetEndOfFile
// on a mapped file and writes to a file opened without write sharing, the
// host does neither. Only under Wine, which names the host path and starts
// host programs; false elsewhere or when the change did not happen.
inline bool ResizeFromHost(const std::string& path, ULONGLONG qwSize) {
  const std::string host = HostPath(path);
  return !host.empty() &&
         StartHostCommand("/usr/bin/truncate -s " + std::to_string(qwSize) + " \"" + host + "\"") &&
         guitest::WaitUntil([&] { return FileSize(path) == qwSize; });
}
