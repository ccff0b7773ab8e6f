#pragma once

#include <windows.h>

#include "fileio/MappedFileReader.h"

// Makes the reader's nth view fail with the given code, for as long as the
// object lives: failures that cannot be provoked on demand. One at a time.
class MapViewFailure {
 public:
  MapViewFailure(int nFailing, DWORD dwError) {
    s_nCalls = 0;
    s_nFailing = nFailing;
    s_dwError = dwError;
    MappedFileReader::s_pfnMapViewOfFile = &Map;
  }
  ~MapViewFailure() { MappedFileReader::s_pfnMapViewOfFile = ::MapViewOfFile; }
  MapViewFailure(const MapViewFailure&) = delete;
  MapViewFailure& operator=(const MapViewFailure&) = delete;

 private:
  static LPVOID WINAPI Map(HANDLE h, DWORD access, DWORD high, DWORD low, SIZE_T length) {
    if (++s_nCalls == s_nFailing) {
      ::SetLastError(s_dwError);
      return nullptr;
    }
    return ::MapViewOfFile(h, access, high, low, length);
  }

  static inline int s_nCalls = 0;
  static inline int s_nFailing = 0;
  static inline DWORD s_dwError = 0;
};
