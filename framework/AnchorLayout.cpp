#include "framework/AnchorLayout.h"

#include <vector>

#include "framework/Dpi.h"

namespace {

// A control's rectangle in its dialog's client coordinates. A drop-down
// list's window is its closed field, but sizing it sets the height of the
// opened list: its height is that of the opened list.
RECT PlacedRect(HWND hDlg, HWND hCtl) {
  RECT rc;
  ::GetWindowRect(hCtl, &rc);
  char szClass[16] = {};
  ::GetClassNameA(hCtl, szClass, sizeof(szClass));
  RECT rcDropped;
  if (::lstrcmpiA(szClass, "ComboBox") == 0 &&
      ::SendMessageA(hCtl, CB_GETDROPPEDCONTROLRECT, 0, (LPARAM)&rcDropped))
    rc.bottom = rc.top + (rcDropped.bottom - rcDropped.top);
  ::MapWindowPoints(nullptr, hDlg, (POINT*)&rc, 2);
  return rc;
}

int ClientWidth(HWND hDlg) {
  RECT rc;
  ::GetClientRect(hDlg, &rc);
  return rc.right;
}

}  // namespace

void AnchorLayout::Capture(HWND hDlg, const AnchorRule* pRules, size_t nRules) {
  m_hDlg = hDlg;
  m_pRules = pRules;
  m_nRules = nRules;
  RECT rc;
  ::GetClientRect(hDlg, &rc);
  m_sizeTemplate = SIZE{rc.right, rc.bottom};
  m_nTemplateDpi = m_nDpi = DpiForWindow(hDlg);
  m_cxLaid = rc.right;
  RememberFrame();
  // The dialog manager would place the controls anew from the template on
  // a DPI change, losing the extra width: OnDpiChanged places them.
  KeepDialogControlsOnDpiChange(hDlg);
}

SIZE AnchorLayout::MinClientSize() const {
  return SIZE{::MulDiv(m_sizeTemplate.cx, (int)m_nDpi, (int)m_nTemplateDpi),
              ::MulDiv(m_sizeTemplate.cy, (int)m_nDpi, (int)m_nTemplateDpi)};
}

void AnchorLayout::RememberFrame() {
  // A minimized window has no client area to tell its frame by.
  if (m_hDlg == nullptr || ::IsIconic(m_hDlg)) return;
  RECT rcWindow, rcClient;
  ::GetWindowRect(m_hDlg, &rcWindow);
  ::GetClientRect(m_hDlg, &rcClient);
  m_sizeFrame = SIZE{(rcWindow.right - rcWindow.left) - rcClient.right,
                     (rcWindow.bottom - rcWindow.top) - rcClient.bottom};
}

void AnchorLayout::OnGetMinMaxInfo(MINMAXINFO* pInfo) {
  if (m_hDlg == nullptr) return;  // before WM_INITDIALOG: the template's size
  RememberFrame();
  const SIZE sizeMin = MinClientSize();
  const LONG cyWindow = sizeMin.cy + m_sizeFrame.cy;
  pInfo->ptMinTrackSize.x = sizeMin.cx + m_sizeFrame.cx;
  // Every field is one line: more height would only be empty space, so a
  // maximized window is as wide as the screen and as high as the template.
  pInfo->ptMinTrackSize.y = pInfo->ptMaxTrackSize.y = pInfo->ptMaxSize.y = cyWindow;
}

void AnchorLayout::OnSize(UINT nType, int cx) {
  if (m_hDlg == nullptr || m_bScaling || nType == SIZE_MINIMIZED) return;
  Shift(cx - m_cxLaid);
}

void AnchorLayout::Shift(int dx) {
  m_cxLaid += dx;
  if (dx == 0) return;
  // All controls move in one step: no control is drawn at a place between.
  // A moved control paints itself anew rather than taking its old pixels
  // along, which the dialog's own repainting could cover.
  HDWP hDwp = ::BeginDeferWindowPos((int)m_nRules);
  for (size_t i = 0; i < m_nRules && hDwp != nullptr; ++i) {
    HWND hCtl = ::GetDlgItem(m_hDlg, m_pRules[i].nID);
    if (hCtl == nullptr) continue;
    const RECT rc = PlacedRect(m_hDlg, hCtl);
    const bool bGrow = m_pRules[i].anchor == Anchor::kGrow;
    hDwp = ::DeferWindowPos(
        hDwp, hCtl, nullptr, rc.left + (bGrow ? 0 : dx), rc.top,
        rc.right - rc.left + (bGrow ? dx : 0), rc.bottom - rc.top,
        SWP_NOZORDER | SWP_NOACTIVATE | (bGrow ? SWP_NOMOVE : SWP_NOSIZE | SWP_NOCOPYBITS));
  }
  if (hDwp != nullptr) ::EndDeferWindowPos(hDwp);
}

void AnchorLayout::OnDpiChanged(UINT nDpi, const RECT* pSuggested) {
  if (m_hDlg == nullptr || nDpi == 0 || nDpi == m_nDpi) return;
  const UINT nOldDpi = m_nDpi;
  const auto scale = [&](LONG l) { return ::MulDiv(l, (int)nDpi, (int)nOldDpi); };
  // Every control, labels included, keeps its place scaled, so the layout
  // is the one it was, extra width and all, at the new size.
  std::vector<std::pair<HWND, RECT>> places;
  for (HWND h = ::GetWindow(m_hDlg, GW_CHILD); h != nullptr; h = ::GetWindow(h, GW_HWNDNEXT))
    places.emplace_back(h, PlacedRect(m_hDlg, h));
  const int cxOld = m_cxLaid;

  m_nDpi = nDpi;  // the new least size holds from here on
  m_bScaling = true;
  if (pSuggested != nullptr)
    ::SetWindowPos(m_hDlg, nullptr, pSuggested->left, pSuggested->top,
                   pSuggested->right - pSuggested->left, pSuggested->bottom - pSuggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
  HDWP hDwp = ::BeginDeferWindowPos((int)places.size());
  for (const auto& place : places) {
    if (hDwp == nullptr) break;
    const RECT& rc = place.second;
    hDwp = ::DeferWindowPos(hDwp, place.first, nullptr, scale(rc.left), scale(rc.top),
                            scale(rc.right) - scale(rc.left), scale(rc.bottom) - scale(rc.top),
                            SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (hDwp != nullptr) ::EndDeferWindowPos(hDwp);
  m_bScaling = false;
  RememberFrame();
  // The suggested size need not be the old one scaled exactly.
  m_cxLaid = scale(cxOld);
  Shift(ClientWidth(m_hDlg) - m_cxLaid);
}

BOOL AnchorLayout::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case WM_SIZE:
      OnSize((UINT)wParam, LOWORD(lParam));
      return FALSE;
    case WM_DPICHANGED:  // then the icons, and the dialog manager's fonts
      OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return FALSE;
    default:
      return FALSE;
  }
}
