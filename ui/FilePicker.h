#pragma once

#include <windows.h>
#include <commdlg.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ui/CallbackThunk.h"

// The system's open-file dialog, opened in the documents folder first and
// afterwards in the folder of the last pick, centred on the work area.
//
// If the hook cannot be bound (no executable memory), the dialog still opens,
// only without the hook: the user can pick a file, the dialog is just not
// centred.
class FilePicker {
 public:
  FilePicker();
  virtual ~FilePicker();
  FilePicker(const FilePicker&) = delete;
  FilePicker& operator=(const FilePicker&) = delete;

  // The dialog's file-name buffer in bytes: the longest path the system
  // names (32767 UTF-16 units) at up to three UTF-8 bytes per unit.
  static constexpr DWORD kFileBufferSize = 32768 * 3;

  // Full paths in the order the dialog gives them; empty on cancel, on a
  // dialog error and on a selection that does not fit the buffer. An
  // initialName longer than the buffer is cut to fit.
  std::vector<std::string> OpenFiles(HWND owner, bool allowMultiple, const char* filter,
                                     const std::string& initialName, const std::string& initialDir);
  // Centres the dialog on WM_INITDIALOG; always 0, so the dialog's own
  // processing runs.
  virtual UINT_PTR HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

  // The pieces of the above that need no dialog.

  // Size to announce in OPENFILENAMEA: the extended form (88) only on NT 5.x.
  static DWORD StructSizeFor(DWORD dwPlatformId, DWORD dwMajor, DWORD dwMinor);
  // Top-left corner that centres a width x height window on the work area.
  // The work area's left and top edges do not enter.
  static POINT CentredOrigin(const RECT& work, int width, int height);
  // Copies as much of name as fits into a zero-filled buffer of size bytes,
  // leaving at least one terminating zero. Returns the bytes copied.
  static std::size_t FillNameBuffer(char* buffer, std::size_t size, const std::string& name);
  // The paths in a multiple-selection result: a single full path, or a
  // folder followed by names, NUL-separated and ended by an empty entry.
  // Reads no further than size bytes even if the ending is missing.
  static std::vector<std::string> SplitSelection(const char* buffer, std::size_t size);
  // After a pick: lastDir becomes the folder of firstPath, unless the root
  // of firstPath is not a readable volume. Returns whether it changed.
  static bool RememberFolder(const std::string& firstPath, std::string& lastDir);

 private:
  OPENFILENAMEA m_ofn;  // always the full extended form; lStructSize says how much is used
  CallbackThunk m_hookThunk;
  std::string m_strLastDir;
  char* m_pszFileBuffer;
  DWORD m_nBufferSize;
};
