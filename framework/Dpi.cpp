#include "framework/Dpi.h"

namespace {

UINT SystemDpi() {
  HDC hDC = ::GetDC(nullptr);
  const int nDpi = hDC != nullptr ? ::GetDeviceCaps(hDC, LOGPIXELSY) : 96;
  if (hDC != nullptr) ::ReleaseDC(nullptr, hDC);
  return nDpi > 0 ? (UINT)nDpi : 96;
}

template <typename T>
T UserFunction(const char* pszName) {
  return reinterpret_cast<T>(
      reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("user32.dll"), pszName)));
}

}  // namespace

UINT DpiForWindow(HWND hWnd) {
  static const auto pfn = UserFunction<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  const UINT nDpi = (pfn != nullptr && hWnd != nullptr) ? pfn(hWnd) : 0;
  return nDpi != 0 ? nDpi : SystemDpi();
}

int SystemMetricForDpi(int nIndex, UINT nDpi) {
  static const auto pfn = UserFunction<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  if (pfn != nullptr) return pfn(nIndex, nDpi);
  return ::MulDiv(::GetSystemMetrics(nIndex), (int)nDpi, (int)SystemDpi());
}

HICON LoadIconForDpi(HINSTANCE hInstance, UINT nID, bool bLarge, UINT nDpi) {
  const int cx = SystemMetricForDpi(bLarge ? SM_CXICON : SM_CXSMICON, nDpi);
  const int cy = SystemMetricForDpi(bLarge ? SM_CYICON : SM_CYSMICON, nDpi);
  return (HICON)::LoadImageA(hInstance, MAKEINTRESOURCEA(nID), IMAGE_ICON, cx, cy, 0);
}

void KeepDialogControlsOnDpiChange(HWND hDlg) {
  const DWORD dwDisableControlRelayout = 0x0004;  // DDC_DISABLE_CONTROL_RELAYOUT
  static const auto pfn =
      UserFunction<BOOL(WINAPI*)(HWND, DWORD, DWORD)>("SetDialogDpiChangeBehavior");
  if (pfn != nullptr) pfn(hDlg, dwDisableControlRelayout, dwDisableControlRelayout);
}
