// Tells a script what a running Vexorin shows. Scripts that start the
// program themselves (the package test) have no other way into its windows.
//   window_probe [seconds]   (how long to wait for a window; default 30)
// For the main window prints "mode=File" or "mode=String", then
// "data=<text>"; for the list window "list=<caption>", then "rows=<count>"
// once its run has ended. Ends with 1 when no Vexorin window appeared.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "res/resource.h"

namespace {

std::vector<char> TextOf(HWND hWnd) {
  const int nLength = (int)::SendMessageA(hWnd, WM_GETTEXTLENGTH, 0, 0);
  std::vector<char> text(nLength + 1, '\0');
  ::SendMessageA(hWnd, WM_GETTEXT, (WPARAM)text.size(), (LPARAM)text.data());
  return text;
}

BOOL CALLBACK FindList(HWND hWnd, LPARAM lParam) {
  char szClass[16] = {};
  ::GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (std::strcmp(szClass, "#32770") != 0 || ::GetDlgItem(hWnd, IDC_LIST_ROWS) == nullptr)
    return TRUE;
  *reinterpret_cast<HWND*>(lParam) = hWnd;
  return FALSE;
}

}  // namespace

int main(int argc, char** argv) {
  const int nSeconds = argc > 1 ? std::atoi(argv[1]) : 30;
  HWND hMain = nullptr;
  HWND hList = nullptr;
  for (int i = 0; i < nSeconds * 10 && hMain == nullptr && hList == nullptr; ++i) {
    hMain = ::FindWindowA("#32770", "Vexorin");
    ::EnumWindows(&FindList, reinterpret_cast<LPARAM>(&hList));
    if (hMain == nullptr && hList == nullptr) ::Sleep(100);
  }
  if (hList != nullptr) {
    // The run has ended when Stop has become Close again.
    HWND hStop = ::GetDlgItem(hList, IDC_LIST_STOP);
    for (int i = 0; i < nSeconds * 10 && std::strcmp(TextOf(hStop).data(), "Close") != 0; ++i)
      ::Sleep(100);
    std::printf("list=%s\nrows=%d\n", TextOf(hList).data(),
                (int)::SendDlgItemMessageA(hList, IDC_LIST_ROWS, LVM_GETITEMCOUNT, 0, 0));
    return 0;
  }
  if (hMain == nullptr) {
    std::puts("no window");
    return 1;
  }
  ::Sleep(500);  // let a start-up that fills the fields finish
  const bool bFile = ::SendDlgItemMessageA(hMain, IDC_FILE, BM_GETCHECK, 0, 0) == BST_CHECKED;
  std::printf("mode=%s\ndata=%s\n", bFile ? "File" : "String",
              TextOf(::GetDlgItem(hMain, IDC_DATA)).data());
  return 0;
}
