#pragma once

#include <windows.h>
#include <commdlg.h>

#include <string>
#include <vector>

#include "ui/CallbackThunk.h"

// The system's open-file dialog, opened in the documents folder first and
// afterwards in the folder of the last pick, centred on the work area.
class FilePicker {
 public:
  FilePicker();
  virtual ~FilePicker();

  std::vector<std::string> OpenFiles(HWND owner, bool allowMultiple, const char* filter,
                                     const std::string& initialName,
                                     const std::string& initialDir);
  virtual UINT_PTR HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};
