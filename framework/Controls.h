#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "framework/Wnd.h"

class CComboBox : public CWnd {
 public:
  int AddString(LPCSTR lpszString) { return (int)SendMessage(CB_ADDSTRING, 0, (LPARAM)lpszString); }
  int GetCount() const { return (int)SendMessage(CB_GETCOUNT); }
  int GetCurSel() const { return (int)SendMessage(CB_GETCURSEL); }
  int SetCurSel(int nSelect) { return (int)SendMessage(CB_SETCURSEL, (WPARAM)nSelect); }
};

class CProgressCtrl : public CWnd {
 public:
  int SetPos(int nPos) { return (int)SendMessage(PBM_SETPOS, (WPARAM)nPos); }
  int GetPos() const { return (int)SendMessage(PBM_GETPOS); }
};

class CStatic : public CWnd {};

// A tooltip window owned by a dialog (and destroyed with it), with tools
// that are whole control windows. The tool structure has the size every
// version of the common controls accepts.
class CToolTipCtrl : public CWnd {
 public:
  BOOL Create(CWnd* pParentWnd, DWORD dwStyle = 0);
  BOOL AddTool(CWnd* pWnd, LPCSTR lpszText);
  void UpdateTipText(LPCSTR lpszText, CWnd* pWnd);
  // The tool's text as the tooltip holds it.
  std::string GetText(CWnd* pWnd) const;
  int GetToolCount() const { return (int)SendMessage(TTM_GETTOOLCOUNT); }

 private:
  TTTOOLINFOA ToolInfo(CWnd* pWnd, LPCSTR lpszText) const;
};
