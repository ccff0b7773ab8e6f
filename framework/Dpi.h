#pragma once

#include <windows.h>

// Scaling helpers that work on every system the program runs on: the
// per-monitor calls are looked up at run time and stand in for by the
// system-wide values where they are missing.

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif
#ifndef WM_DPICHANGED_AFTERPARENT
#define WM_DPICHANGED_AFTERPARENT 0x02E3
#endif

// The dots per inch the window is shown at.
UINT DpiForWindow(HWND hWnd);
// A system metric (SM_CXICON, SM_CXSMICON, ...) at the given DPI.
int SystemMetricForDpi(int nIndex, UINT nDpi);
// The icon resource nID at the size of a large (or small) icon at nDpi,
// so that the image made for that size is taken rather than a stretched
// one. The caller destroys it.
HICON LoadIconForDpi(HINSTANCE hInstance, UINT nID, bool bLarge, UINT nDpi);
// Tells the dialog manager to leave the dialog's controls where they are on
// a DPI change (it still resizes the dialog and sends the new fonts), for a
// dialog that places them itself. Nothing on systems without the setting.
void KeepDialogControlsOnDpiChange(HWND hDlg);

// An owned icon handle.
class CIconHandle {
 public:
  CIconHandle() = default;
  ~CIconHandle() { Reset(nullptr); }
  CIconHandle(const CIconHandle&) = delete;
  CIconHandle& operator=(const CIconHandle&) = delete;

  HICON Get() const { return m_hIcon; }
  void Reset(HICON hIcon) {
    if (m_hIcon != nullptr) ::DestroyIcon(m_hIcon);
    m_hIcon = hIcon;
  }

 private:
  HICON m_hIcon = nullptr;
};
