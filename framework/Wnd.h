#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>
#include <vector>

#include "framework/MessageMap.h"

// A window handle with the few operations the dialogs use. Every operation
// is a plain window call or message, so it may also be used from a thread
// other than the window's own (the platform then sends the message across).
class CWnd {
 public:
  CWnd() = default;
  virtual ~CWnd() = default;
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  HWND GetSafeHwnd() const { return m_hWnd; }
  HWND GetDlgItem(int nID) const { return ::GetDlgItem(m_hWnd, nID); }

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendMessageA(m_hWnd, message, wParam, lParam);
  }
  LRESULT SendDlgItemMessage(int nID, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const {
    return ::SendDlgItemMessageA(m_hWnd, nID, message, wParam, lParam);
  }
  void SetWindowText(LPCSTR lpszString) { ::SetWindowTextA(m_hWnd, lpszString); }
  void SetDlgItemText(int nID, LPCSTR lpszString) { ::SetDlgItemTextA(m_hWnd, nID, lpszString); }
  BOOL EnableWindow(BOOL bEnable = TRUE) { return ::EnableWindow(m_hWnd, bEnable); }
  BOOL ShowWindow(int nCmdShow) { return ::ShowWindow(m_hWnd, nCmdShow); }
  BOOL IsIconic() const { return ::IsIconic(m_hWnd); }
  void GetClientRect(LPRECT lpRect) const { ::GetClientRect(m_hWnd, lpRect); }
  UINT IsDlgButtonChecked(int nIDButton) const { return ::IsDlgButtonChecked(m_hWnd, nIDButton); }
  void CheckDlgButton(int nIDButton, UINT nCheck) { ::CheckDlgButton(m_hWnd, nIDButton, nCheck); }
  HICON SetIcon(HICON hIcon, BOOL bBigIcon) {
    return (HICON)SendMessage(WM_SETICON, bBigIcon ? ICON_BIG : ICON_SMALL, (LPARAM)hIcon);
  }
  void DragAcceptFiles(BOOL bAccept = TRUE) { ::DragAcceptFiles(m_hWnd, bAccept); }
  BOOL OpenClipboard() { return ::OpenClipboard(m_hWnd); }
  int MessageBox(LPCSTR lpszText, LPCSTR lpszCaption, UINT nType) {
    return ::MessageBoxA(m_hWnd, lpszText, lpszCaption, nType);
  }

  // Dispatches one message through the message maps; true when handled.
  virtual BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  // Base handlers of the map messages: the window's default processing.
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  void OnDestroy() {}
  HCURSOR OnQueryDragIcon();
  void OnDropFiles(HDROP hDropInfo);
  // The colours of a control: nCtlColor is CTLCOLOR_EDIT, CTLCOLOR_STATIC,
  // ...; the base gives the system's colours and brush.
  HBRUSH OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor);

  HWND m_hWnd = nullptr;

 protected:
  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;
};

// The window's text as a byte string, all of it (from any thread).
std::string ReadWindowText(HWND hWnd);

// The paths of a drop's files (the first nMost of them), each whole at any
// length, empty names left out; and the first one alone, empty when the drop
// holds none.
std::vector<std::string> DroppedPaths(HDROP hDropInfo, UINT nMost = 0xFFFFFFFF);
std::string FirstDroppedPath(HDROP hDropInfo);
