#pragma once

#include <windows.h>

class CWnd;

// The one application object. Its constructor registers it; the program's
// entry point (WinMain in WinApp.cpp) initialises the common controls and
// calls InitInstance, whose result decides whether anything more runs.
class CWinApp {
 public:
  explicit CWinApp(LPCSTR lpszAppName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual BOOL InitInstance() { return FALSE; }
  virtual int ExitInstance() { return 0; }

  // Replaces the title; the application object owns the copy.
  void SetAppName(LPCSTR lpszAppName);

  LPCSTR m_pszAppName = nullptr;  // caption of every AfxMessageBox
  CWnd* m_pMainWnd = nullptr;
  HINSTANCE m_hInstance = nullptr;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();
