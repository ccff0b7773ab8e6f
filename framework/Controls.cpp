#include "framework/Controls.h"

BOOL CToolTipCtrl::Create(CWnd* pParentWnd, DWORD dwStyle) {
  m_hWnd = ::CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX | dwStyle, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             pParentWnd != nullptr ? pParentWnd->m_hWnd : nullptr, nullptr,
                             ::GetModuleHandleA(nullptr), nullptr);
  return m_hWnd != nullptr;
}

TTTOOLINFOA CToolTipCtrl::ToolInfo(CWnd* pWnd, LPCSTR lpszText) const {
  TTTOOLINFOA ti = {};
  // The older size: the common controls before version 6 refuse the newer.
  ti.cbSize = TTTOOLINFOA_V2_SIZE;
  ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  ti.hwnd = ::GetParent(pWnd->m_hWnd);
  ti.uId = (UINT_PTR)pWnd->m_hWnd;
  ti.lpszText = const_cast<LPSTR>(lpszText);
  return ti;
}

BOOL CToolTipCtrl::AddTool(CWnd* pWnd, LPCSTR lpszText) {
  TTTOOLINFOA ti = ToolInfo(pWnd, lpszText);
  return (BOOL)SendMessage(TTM_ADDTOOLA, 0, (LPARAM)&ti);
}

void CToolTipCtrl::UpdateTipText(LPCSTR lpszText, CWnd* pWnd) {
  TTTOOLINFOA ti = ToolInfo(pWnd, lpszText);
  SendMessage(TTM_UPDATETIPTEXTA, 0, (LPARAM)&ti);
}

std::string CToolTipCtrl::GetText(CWnd* pWnd) const {
  // A tooltip text is at most 1024 characters long (INFOTIPSIZE).
  char szText[1025] = {};
  TTTOOLINFOA ti = ToolInfo(pWnd, szText);
  SendMessage(TTM_GETTEXTA, sizeof(szText), (LPARAM)&ti);
  return szText;
}
