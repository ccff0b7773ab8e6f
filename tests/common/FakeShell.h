#pragma once

// Stands in for the shell's ShellExecuteExA in the test programs, so that
// a click on a link records what the shell would have been asked to open
// instead of starting a browser or a mail program.
#include <windows.h>

#include <string>
#include <vector>

namespace fakeshell {

struct Call {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  std::string strVerb;
  std::string strFile;
  bool bParameters;
  bool bDirectory;
  int nShow;
};

std::vector<Call> Calls();        // a copy; safe from any thread
void Reset(BOOL bResult = TRUE);  // forget the calls; later calls return bResult

}  // namespace fakeshell
