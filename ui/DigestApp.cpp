#include "ui/DigestApp.h"

#include "res/resource.h"
#include "ui/MainDialog.h"

DigestApp theApp;

BOOL DigestApp::InitInstance() {
  // The control-container and 3-D control switches of other toolkits have
  // no counterpart here: the system draws the controls itself.
  char szTitle[256] = {};
  ::LoadStringA(m_hInstance, IDS_APP_TITLE, szTitle, sizeof(szTitle));
  SetAppName(szTitle);

  MainDialog dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
