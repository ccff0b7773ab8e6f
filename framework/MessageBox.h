#pragma once

#include <windows.h>

// A message box captioned with the application title and owned by the main
// window's last active pop-up. An OK (or OK/Cancel) box without an icon
// gets the exclamation icon, a Yes/No box the question mark. May be called
// from any thread.
int AfxMessageBox(LPCSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = UINT(-1));

// A notice with the system's text for a Windows error code (its line break
// included), or the code itself where the system has no text for it.
void ShowSystemErrorBox(DWORD dwError);
