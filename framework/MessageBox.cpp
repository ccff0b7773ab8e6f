#include "framework/MessageBox.h"

#include <cstdio>

#include "framework/WinApp.h"
#include "framework/Wnd.h"

int AfxMessageBox(LPCSTR lpszText, UINT nType, UINT) {
  HWND hOwner = nullptr;
  LPCSTR lpszCaption = "";
  if (CWinApp* pApp = AfxGetApp()) {
    if (pApp->m_pszAppName != nullptr) lpszCaption = pApp->m_pszAppName;
    if (pApp->m_pMainWnd != nullptr && ::IsWindow(pApp->m_pMainWnd->m_hWnd))
      hOwner = ::GetLastActivePopup(pApp->m_pMainWnd->m_hWnd);
  }
  if ((nType & MB_ICONMASK) == 0) {
    switch (nType & MB_TYPEMASK) {
      case MB_OK:
      case MB_OKCANCEL:
        nType |= MB_ICONEXCLAMATION;
        break;
      case MB_YESNO:
      case MB_YESNOCANCEL:
        nType |= MB_ICONQUESTION;
        break;
    }
  }
  return ::MessageBoxA(hOwner, lpszText, lpszCaption, nType);
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
  char szText[512] = {};
  ::LoadStringA(AfxGetResourceHandle(), nIDPrompt, szText, sizeof(szText));
  return AfxMessageBox(szText, nType, nIDHelp == UINT(-1) ? nIDPrompt : nIDHelp);
}

void ShowSystemErrorBox(DWORD dwError) {
  LPSTR pszMessage = nullptr;
  const DWORD dwLength = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, dwError, 0, reinterpret_cast<LPSTR>(&pszMessage), 0, nullptr);
  if (dwLength != 0 && pszMessage != nullptr) {
    AfxMessageBox(pszMessage);
  } else {
    // The system has no text for this code: name the code itself.
    char szFallback[64];
    std::snprintf(szFallback, sizeof(szFallback), "Error %lu (0x%08lX).", dwError, dwError);
    AfxMessageBox(szFallback);
  }
  if (pszMessage != nullptr) ::LocalFree(pszMessage);
}
