#include "ui/Clipboard.h"

#include <cstring>

#include "fileio/LongPath.h"

std::string ClipboardText(HWND hOwner, size_t nLimit) {
  std::string text;
  if (!::OpenClipboard(hOwner)) return text;
  if (HANDLE hWide = ::GetClipboardData(CF_UNICODETEXT)) {
    const SIZE_T nUnits = ::GlobalSize(hWide) / sizeof(wchar_t);
    if (const wchar_t* p = static_cast<const wchar_t*>(::GlobalLock(hWide))) {
      // Each unit takes at most three bytes: far beyond the limit, skip it.
      if (nUnits <= 3 * nLimit) text = NarrowFromWide(p, (int)wcsnlen(p, nUnits));
      ::GlobalUnlock(hWide);
    }
  } else if (HANDLE hText = ::GetClipboardData(CF_TEXT)) {
    const SIZE_T nBytes = ::GlobalSize(hText);
    if (const char* p = static_cast<const char*>(::GlobalLock(hText))) {
      text.assign(p, strnlen(p, nBytes));
      ::GlobalUnlock(hText);
    }
  }
  ::CloseClipboard();
  if (text.size() > nLimit) text.clear();
  return text;
}

bool PutOnClipboard(HWND hOwner, const std::string& text) {
  if (!::OpenClipboard(hOwner)) return false;
  ::EmptyClipboard();
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  void* pMem = hMem != nullptr ? ::GlobalLock(hMem) : nullptr;
  if (pMem == nullptr) {
    if (hMem != nullptr) ::GlobalFree(hMem);
    ::CloseClipboard();
    return false;
  }
  std::memcpy(pMem, text.c_str(), text.size() + 1);
  ::GlobalUnlock(hMem);
  const bool bSet = ::SetClipboardData(CF_TEXT, hMem) != nullptr;
  if (!bSet) ::GlobalFree(hMem);
  ::CloseClipboard();
  return bSet;
}
