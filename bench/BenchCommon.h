#pragma once

// What the benchmark programs share: the clock, and
// reading a file (or its front part) into memory.
#include <windows.h>

#include <algorithm>
#include <string>

namespace bench {

inline double Now() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) / double(frequency.QuadPart);
}

inline double MiBPerSecond(double bytes, double seconds) {
  return seconds > 0 ? bytes / 1048576.0 / seconds : 0;
}

// Reads the whole file, or its first qwLimit bytes, into *data.
inline bool ReadWhole(const char* path, std::string* data, ULONGLONG qwLimit = ~0ull) {
  HANDLE h = ::CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size;
  bool ok = ::GetFileSizeEx(h, &size) != 0;
  const ULONGLONG qwWanted = std::min<ULONGLONG>(size.QuadPart, qwLimit);
  ok = ok && qwWanted <= data->max_size();
  if (ok) {
    // A 32-bit process may lack that much contiguous address space; ask first
    // rather than let the string fail.
    void* probe =
        ::VirtualAlloc(nullptr, static_cast<SIZE_T>(qwWanted) + 65536, MEM_RESERVE, PAGE_NOACCESS);
    ok = probe != nullptr;
    if (probe) ::VirtualFree(probe, 0, MEM_RELEASE);
  }
  if (ok) {
    data->resize(static_cast<size_t>(qwWanted));
    DWORD done = 0;
    for (size_t at = 0; ok && at < data->size(); at += done) {
      const DWORD ask = static_cast<DWORD>(std::min<size_t>(data->size() - at, 1 << 24));
      ok = ::ReadFile(h, &(*data)[at], ask, &done, nullptr) && done != 0;
    }
  }
  ::CloseHandle(h);
  return ok;
}

}  // namespace bench
