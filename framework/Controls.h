#pragma once

#include <commctrl.h>

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
