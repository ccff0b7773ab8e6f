#include "framework/WinApp.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

namespace {
CWinApp* g_pApp = nullptr;
}

CWinApp::CWinApp(LPCSTR lpszAppName) {
  g_pApp = this;
  m_hInstance = ::GetModuleHandleA(nullptr);
  if (lpszAppName != nullptr) SetAppName(lpszAppName);
}

CWinApp::~CWinApp() {
  std::free(const_cast<char*>(m_pszAppName));
  if (g_pApp == this) g_pApp = nullptr;
}

void CWinApp::SetAppName(LPCSTR lpszAppName) {
  char* pszCopy = lpszAppName ? _strdup(lpszAppName) : nullptr;
  std::free(const_cast<char*>(m_pszAppName));
  m_pszAppName = pszCopy;
}

CWinApp* AfxGetApp() { return g_pApp; }

HINSTANCE AfxGetInstanceHandle() {
  return g_pApp != nullptr ? g_pApp->m_hInstance : ::GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle() { return AfxGetInstanceHandle(); }

// The program's entry point. It lives beside AfxGetApp so that linking the
// application object brings it in.
int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&icc);
  CWinApp* pApp = AfxGetApp();
  if (pApp == nullptr) return 1;
  pApp->m_hInstance = hInstance;
  // A dialog application does its work inside InitInstance and returns
  // false; there is no message loop of the application's own.
  pApp->InitInstance();
  return pApp->ExitInstance();
}
