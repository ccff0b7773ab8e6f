// Tells a script what the main window of a running Vexorin shows: its data
// type and data source. Scripts that start the program themselves (the
// package test) have no other way into the window.
//   window_probe [seconds]   (how long to wait for the window; default 30)
// Prints "mode=File" or "mode=String", then "data=<text>"; ends with 1
// when no window titled "Vexorin" appeared.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "res/resource.h"

int main(int argc, char** argv) {
  const int nSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
  HWND hWnd = nullptr;
  for (int i = 0; i < nSeconds * 10 && hWnd == nullptr; ++i) {
    hWnd = ::FindWindowA("#32770", "Vexorin");
    if (hWnd == nullptr) ::Sleep(100);
  }
  if (hWnd == nullptr) {
    std::puts("no window");
    return 1;
  }
  ::Sleep(500);  // let a start-up that fills the fields finish
  HWND hData = ::GetDlgItem(hWnd, IDC_DATA);
  const int nLength = (int)::SendMessageA(hData, WM_GETTEXTLENGTH, 0, 0);
  std::vector<char> text(nLength + 1, '\0');
  ::SendMessageA(hData, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)text.data());
  const bool bFile = ::SendDlgItemMessageA(hWnd, IDC_FILE, BM_GETCHECK, 0, 0) == BST_CHECKED;
  std::printf("mode=%s\ndata=%s\n", bFile ? "File" : "String", text.data());
  return 0;
}
