#include "framework/Wnd.h"

#include <vector>

#include "framework/DataExchange.h"

const AFX_MSGMAP* CWnd::GetThisMessageMap() {
  static const AFX_MSGMAP_ENTRY entries[] = {
      {0, 0, 0, AfxSig_end, nullptr, nullptr, nullptr, nullptr, nullptr}};
  static const AFX_MSGMAP messageMap = {nullptr, &entries[0]};
  return &messageMap;
}

const AFX_MSGMAP* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  const UINT nCode = HIWORD(wParam);
  const UINT nID = LOWORD(wParam);
  for (const AFX_MSGMAP* pMap = GetMessageMap(); pMap != nullptr;
       pMap = pMap->pfnGetBaseMap ? pMap->pfnGetBaseMap() : nullptr) {
    for (const AFX_MSGMAP_ENTRY* pEntry = pMap->lpEntries; pEntry->nSig != AfxSig_end; ++pEntry) {
      const bool bColour = message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC;
      if (pEntry->nSig == AfxSig_ctlcolor ? !bColour : pEntry->nMessage != message) continue;
      if (message == WM_COMMAND && (pEntry->nCode != nCode || pEntry->nID != nID)) continue;
      *pResult = 0;
      switch (pEntry->nSig) {
        case AfxSig_vv:
          (this->*pEntry->pfn_vv)();
          break;
        case AfxSig_vwl:
          (this->*pEntry->pfn_vwl)((UINT)wParam, lParam);
          break;
        case AfxSig_hv:
          *pResult = (LRESULT)(this->*pEntry->pfn_hv)();
          break;
        case AfxSig_vh:
          (this->*pEntry->pfn_vh)((HDROP)wParam);
          break;
        case AfxSig_ctlcolor:
          *pResult = (LRESULT)(this->*pEntry->pfn_ctlcolor)((HDC)wParam, (HWND)lParam,
                                                            message - WM_CTLCOLORMSGBOX);
          break;
        case AfxSig_end:
          break;
      }
      return TRUE;
    }
  }
  return FALSE;
}

void CWnd::OnSysCommand(UINT nID, LPARAM lParam) {
  ::DefWindowProcA(m_hWnd, WM_SYSCOMMAND, nID, lParam);
}

void CWnd::OnPaint() { ::DefWindowProcA(m_hWnd, WM_PAINT, 0, 0); }

HCURSOR CWnd::OnQueryDragIcon() {
  return (HCURSOR)::DefWindowProcA(m_hWnd, WM_QUERYDRAGICON, 0, 0);
}

HBRUSH CWnd::OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor) {
  return (HBRUSH)::DefWindowProcA(m_hWnd, WM_CTLCOLORMSGBOX + nCtlColor, (WPARAM)hDC, (LPARAM)hWnd);
}

void CWnd::OnDropFiles(HDROP hDropInfo) {
  ::DefWindowProcA(m_hWnd, WM_DROPFILES, (WPARAM)hDropInfo, 0);
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
  // The member may still hold the control of an earlier window of the same
  // dialog object, long destroyed: only this window's control will do.
  rControl.m_hWnd = pDX->m_pDlgWnd->GetDlgItem(nIDC);
}

std::string ReadWindowText(HWND hWnd) {
  const int nLength = ::GetWindowTextLengthA(hWnd);
  std::vector<char> buffer(nLength + 1, '\0');
  ::GetWindowTextA(hWnd, buffer.data(), nLength + 1);
  return std::string(buffer.data());
}

std::vector<std::string> DroppedPaths(HDROP hDropInfo, UINT nMost) {
  std::vector<std::string> paths;
  const UINT nCount = ::DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < nCount && i < nMost; ++i) {
    // Sized by the path's own length, so that no path is cut at MAX_PATH.
    const UINT nLength = ::DragQueryFileA(hDropInfo, i, nullptr, 0);
    std::vector<char> path(nLength + 1, '\0');
    ::DragQueryFileA(hDropInfo, i, path.data(), nLength + 1);
    if (path[0] != '\0') paths.push_back(path.data());
  }
  return paths;
}

std::string FirstDroppedPath(HDROP hDropInfo) {
  const std::vector<std::string> paths = DroppedPaths(hDropInfo, 1);
  return paths.empty() ? std::string() : paths.front();
}
