#pragma once

#include <windows.h>

// A view of a file, unmapped when its holder lets it go; moved, never copied.
class MappedView {
 public:
  MappedView() = default;
  ~MappedView() { Reset(); }
  MappedView(MappedView&& other) noexcept { *this = static_cast<MappedView&&>(other); }
  MappedView& operator=(MappedView&& other) noexcept;
  MappedView(const MappedView&) = delete;
  MappedView& operator=(const MappedView&) = delete;

  // The bytes from the position the view was taken at; null when empty.
  const BYTE* Data() const { return m_pData; }
  DWORD Length() const { return m_dwLength; }
  void Reset();

 private:
  friend class MappedFileReader;
  void* m_pBase = nullptr;
  const BYTE* m_pData = nullptr;
  DWORD m_dwLength = 0;
};

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
  // Maps up to dwCount bytes from the position into a view of the caller's,
  // brings its pages in and advances the position: the bytes can then be
  // read in place, with no copy. The reader's own view stays as it was. A
  // page that cannot be read gives 0 with the system's code, an empty view,
  // and the position stays. A reader of the view may still fault if the
  // file loses pages later, so it reads under GuardedRead.
  DWORD Take(DWORD dwCount, MappedView* pView);

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
  static BOOL(WINAPI* s_pfnUnmapViewOfFile)(LPCVOID);

 private:
  // Ends a failed Open: nothing held, the code kept; returns false.
  bool FailOpen(DWORD dwError);
  // Maps the window that holds up to dwCount bytes from the position: its
  // base, null at the end (LastError unchanged) or on failure (LastError
  // set); *pdwSkip bytes lie before the position, *pdwLength in all. A view
  // in *ppReplaced is unmapped just before the new one is mapped.
  BYTE* MapWindow(DWORD dwCount, DWORD* pdwSkip, DWORD* pdwLength, BYTE** ppReplaced);

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
