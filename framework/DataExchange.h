#pragma once

#include "framework/Wnd.h"

// Moves data between a dialog and its members; here it only binds control
// objects to the dialog's controls.
class CDataExchange {
 public:
  CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};

// Attaches rControl to the dialog's control nIDC, also when it was attached
// to a control of an earlier window (a dialog object shown again).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
