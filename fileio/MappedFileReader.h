#pragma once

#include <windows.h>

// Reads one file front to back through memory-mapped views. Each read maps
// only the granule-aligned window that covers the request, so memory use
// stays bounded for any file size; sizes and offsets are 64-bit. Failures
// are reported by the return value, with the Windows code in LastError().
class MappedFileReader {
 public:
  MappedFileReader();
  virtual ~MappedFileReader();

  MappedFileReader(const MappedFileReader&) = delete;
  MappedFileReader& operator=(const MappedFileReader&) = delete;

  bool Open(const char* path, DWORD dwAccess, DWORD dwShare);
  bool Close();

  ULONGLONG Size() const { return m_qwSize; }
  ULONGLONG Position() const { return m_qwPosition; }
  ULONGLONG Seek(ULONGLONG qwPosition);

  // Maps the window that holds up to dwCount bytes from the position; returns
  // the number of bytes available at the cursor (0 at the end or on failure).
  DWORD Map(DWORD dwCount);
  // Copies up to dwCount bytes from the position and advances it. A page
  // that cannot be read (the file was cut short or its storage went away)
  // gives 0 with the system's code, and the position stays.
  DWORD Read(void* pDestination, DWORD dwCount);

  DWORD LastError() const { return m_dwLastError; }

  // The window of the last successful Map (for checking the alignment rule).
  ULONGLONG ViewOffset() const { return m_qwViewOffset; }
  DWORD ViewLength() const { return m_dwViewLength; }
  const BYTE* View() const { return m_pView; }
  const BYTE* Cursor() const { return m_pCursor; }

  // Test seams: the two kernel calls whose failures a test cannot provoke
  // on demand. They point at the real functions in the program.
  static DWORD(WINAPI* s_pfnGetFileSize)(HANDLE, LPDWORD);
  static LPVOID(WINAPI* s_pfnMapViewOfFile)(HANDLE, DWORD, DWORD, DWORD, SIZE_T);

 private:
  // Ends a failed Open: nothing held, the code kept; returns false.
  bool FailOpen(DWORD dwError);

  HANDLE m_hFile = nullptr;
  HANDLE m_hMapping = nullptr;
  BYTE* m_pView = nullptr;
  BYTE* m_pCursor = nullptr;
  ULONGLONG m_qwSize = 0;
  ULONGLONG m_qwPosition = 0;
  DWORD m_dwGranularity = 0;
  DWORD m_dwAccess = GENERIC_READ;
  DWORD m_dwLastError = 0;
  ULONGLONG m_qwViewOffset = 0;
  DWORD m_dwViewLength = 0;
};
