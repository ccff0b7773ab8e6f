#include "fileio/MappedFileReader.h"

#include "fileio/GuardedCopy.h"
#include "fileio/LongPath.h"
#include "fileio/OwnedHandle.h"

DWORD(WINAPI* MappedFileReader::s_pfnGetFileSize)(HANDLE, LPDWORD) = ::GetFileSize;
LPVOID(WINAPI* MappedFileReader::s_pfnMapViewOfFile)
(HANDLE, DWORD, DWORD, DWORD, SIZE_T) = ::MapViewOfFile;
BOOL(WINAPI* MappedFileReader::s_pfnUnmapViewOfFile)(LPCVOID) = ::UnmapViewOfFile;

MappedView& MappedView::operator=(MappedView&& other) noexcept {
  if (this != &other) {
    Reset();
    m_pBase = other.m_pBase;
    m_pData = other.m_pData;
    m_dwLength = other.m_dwLength;
    other.m_pBase = nullptr;
    other.m_pData = nullptr;
    other.m_dwLength = 0;
  }
  return *this;
}

void MappedView::Reset() {
  if (m_pBase) MappedFileReader::s_pfnUnmapViewOfFile(m_pBase);
  m_pBase = nullptr;
  m_pData = nullptr;
  m_dwLength = 0;
}

MappedFileReader::MappedFileReader() {
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  m_dwGranularity = info.dwAllocationGranularity;
}

MappedFileReader::~MappedFileReader() { Close(); }

bool MappedFileReader::Open(const char* path, DWORD dwAccess, DWORD dwShare) {
  m_qwPosition = 0;
  m_qwSize = 0;
  if (m_hFile || m_hMapping || m_pView) {
    if (!Close()) return false;
  }
  m_dwAccess = dwAccess;
  HANDLE hOpened =
      CreateFileAnyLength(path, dwAccess, dwShare, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  if (hOpened == INVALID_HANDLE_VALUE || hOpened == nullptr) return FailOpen(::GetLastError());
  OwnedHandle file(hOpened);
  // Devices and pipes (NUL, COM1, \\.\pipe\...) open like files but have
  // no size and no pages: reading one would pass for an empty file.
  if (::GetFileType(file.Get()) != FILE_TYPE_DISK) return FailOpen(ERROR_NOT_SUPPORTED);
  DWORD dwHigh = 0;
  ::SetLastError(NO_ERROR);
  const DWORD dwLow = s_pfnGetFileSize(file.Get(), &dwHigh);
  if (dwLow == INVALID_FILE_SIZE) {
    // 0xFFFFFFFF is also a valid low word; only a set error code means the
    // size is unknown, and a file of unknown size must not be read.
    const DWORD dwError = ::GetLastError();
    if (dwError != NO_ERROR) return FailOpen(dwError);
  }
  m_hFile = file.Release();
  m_qwSize = (static_cast<ULONGLONG>(dwHigh) << 32) | dwLow;
  m_dwLastError = 0;
  return true;
}

bool MappedFileReader::FailOpen(DWORD dwError) {
  m_dwAccess = GENERIC_READ;
  m_dwLastError = dwError;
  return false;
}

bool MappedFileReader::Close() {
  if (m_pView && ::UnmapViewOfFile(m_pView)) m_pView = nullptr;
  if (m_hMapping && ::CloseHandle(m_hMapping)) m_hMapping = nullptr;
  if (m_hFile && ::CloseHandle(m_hFile)) m_hFile = nullptr;
  m_qwPosition = 0;
  m_qwSize = 0;
  m_dwAccess = GENERIC_READ;
  if (m_pView || m_hMapping || m_hFile) {
    m_dwLastError = ::GetLastError();
    return false;
  }
  m_dwLastError = 0;
  return true;
}

ULONGLONG MappedFileReader::Seek(ULONGLONG qwPosition) {
  m_qwPosition = qwPosition >= m_qwSize ? m_qwSize : qwPosition;
  return m_qwPosition;
}

BYTE* MappedFileReader::MapWindow(DWORD dwCount, DWORD* pdwSkip, DWORD* pdwLength,
                                  BYTE** ppReplaced) {
  if (!m_hMapping) {
    if (m_qwSize == 0) {
      m_dwLastError = ERROR_FILE_INVALID;
      return nullptr;
    }
    const DWORD dwHigh = static_cast<DWORD>(m_qwSize >> 32);
    const DWORD dwLow = static_cast<DWORD>(m_qwSize);
    if (m_dwAccess & GENERIC_WRITE) {
      m_hMapping = ::CreateFileMappingA(m_hFile, nullptr, PAGE_READWRITE, dwHigh, dwLow, nullptr);
    } else if (m_dwAccess & GENERIC_READ) {
      m_hMapping = ::CreateFileMappingA(m_hFile, nullptr, PAGE_READONLY, dwHigh, dwLow, nullptr);
    }
    if (!m_hMapping) {
      m_dwLastError = ::GetLastError();
      return nullptr;
    }
  }
  const ULONGLONG qwOffset = (m_qwPosition / m_dwGranularity) * m_dwGranularity;
  const ULONGLONG qwSkip = m_qwPosition - qwOffset;
  ULONGLONG qwLength = qwSkip + dwCount;
  if (qwLength > m_qwSize - qwOffset) qwLength = m_qwSize - qwOffset;
  // At the end of a file whose size is a multiple of the granularity the
  // window is empty; a view of length 0 would mean "to the end", so none is
  // asked for.
  if (qwLength == 0) return nullptr;
  if (ppReplaced && *ppReplaced) {
    if (!::UnmapViewOfFile(*ppReplaced)) m_dwLastError = ::GetLastError();
    *ppReplaced = nullptr;
  }
  const DWORD dwMapAccess = (m_dwAccess & GENERIC_WRITE) ? FILE_MAP_WRITE : FILE_MAP_READ;
  BYTE* pView = static_cast<BYTE*>(
      s_pfnMapViewOfFile(m_hMapping, dwMapAccess, static_cast<DWORD>(qwOffset >> 32),
                         static_cast<DWORD>(qwOffset), static_cast<SIZE_T>(qwLength)));
  if (!pView) {
    m_dwLastError = ::GetLastError();
    return nullptr;
  }
  *pdwSkip = static_cast<DWORD>(qwSkip);
  *pdwLength = static_cast<DWORD>(qwLength);
  return pView;
}

DWORD MappedFileReader::Map(DWORD dwCount) {
  DWORD dwSkip = 0, dwLength = 0;
  BYTE* pView = MapWindow(dwCount, &dwSkip, &dwLength, &m_pView);
  if (!pView) return 0;
  m_pView = pView;
  m_qwViewOffset = m_qwPosition - dwSkip;
  m_dwViewLength = dwLength;
  m_pCursor = m_pView + dwSkip;
  return dwLength - dwSkip;
}

DWORD MappedFileReader::Take(DWORD dwCount, MappedView* pView) {
  pView->Reset();
  DWORD dwSkip = 0, dwLength = 0;
  BYTE* pBase = MapWindow(dwCount, &dwSkip, &dwLength, nullptr);
  if (!pBase) return 0;
  MappedView view;
  view.m_pBase = pBase;
  view.m_pData = pBase + dwSkip;
  view.m_dwLength = dwLength - dwSkip;
  // The one place the pages come in: a failure here is the read's.
  const DWORD dwError = GuardedTouch(view.m_pData, view.m_dwLength);
  if (dwError != 0) {
    m_dwLastError = dwError;
    return 0;
  }
  Seek(m_qwPosition + view.m_dwLength);
  *pView = static_cast<MappedView&&>(view);
  return pView->Length();
}

DWORD MappedFileReader::Read(void* pDestination, DWORD dwCount) {
  const DWORD n = Map(dwCount);
  if (n == 0) return 0;
  // The one place that touches the view: its pages may fail to come in.
  const DWORD dwError = GuardedCopy(pDestination, m_pCursor, n);
  if (dwError != 0) {
    m_dwLastError = dwError;
    return 0;
  }
  Seek(m_qwPosition + n);
  return n;
}
