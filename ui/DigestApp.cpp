#include "ui/DigestApp.h"

#include <shellapi.h>

#include "fileio/LongPath.h"
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
  // "Vexorin.exe <path>" (Open with, Send To, a drop on the icon) opens on
  // that file. Read as UTF-16, so that a path of any script or length
  // arrives whole; further arguments are ignored.
  int nArgs = 0;
  if (LPWSTR* ppszArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs)) {
    if (nArgs > 1 && ppszArgs[1][0] != L'\0') {
      dlg.SetStartPath(NarrowFromWide(ppszArgs[1], -1));
    }
    ::LocalFree(ppszArgs);
  }
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  return FALSE;
}
