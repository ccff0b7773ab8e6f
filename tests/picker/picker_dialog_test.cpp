// The real open-file dialog, driven from a second thread as a user would:
// wait for it to show, type a path into the file-name field, press Open or
// Cancel. The picker's hook is extended to record what the dialog was given
// and where the hook moved it.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "ui/FilePicker.h"

namespace {

class RecordingPicker : public FilePicker {
 public:
  RecordingPicker() : m_hInitialised(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~RecordingPicker() override { CloseHandle(m_hInitialised); }

  UINT_PTR HookProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override {
    UINT_PTR result = FilePicker::HookProc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
      const OPENFILENAMEA* ofn = reinterpret_cast<const OPENFILENAMEA*>(lParam);
      m_hDialog = GetParent(window);
      GetWindowRect(m_hDialog, &m_rcAfterHook);
      m_dwStructSize = ofn->lStructSize;
      m_dwFlags = ofn->Flags;
      m_dwMaxFile = ofn->nMaxFile;
      m_strInitialDir = ofn->lpstrInitialDir != nullptr ? ofn->lpstrInitialDir : "(null)";
      ++m_nInits;
      SetEvent(m_hInitialised);
    }
    return result;
  }

  HANDLE m_hInitialised;
  HWND m_hDialog = nullptr;
  RECT m_rcAfterHook = {};
  DWORD m_dwStructSize = 0;
  DWORD m_dwFlags = 0;
  DWORD m_dwMaxFile = 0;
  std::string m_strInitialDir;
  int m_nInits = 0;
};

// The file-name field: the combo box of the Explorer template, or the plain
// edit that some templates use.
HWND FileNameField(HWND dialog) {
  HWND field = GetDlgItem(dialog, cmb13);
  if (field == nullptr) field = GetDlgItem(dialog, edt1);
  return field;
}

std::string TextOf(HWND window) {
  std::vector<char> text(GetWindowTextLengthA(window) + 2, '\0');
  GetWindowTextA(window, text.data(), static_cast<int>(text.size()));
  return text.data();
}

// What the user does once the dialog is on screen.
struct Script {
  std::string strType;  // typed into the file-name field (nothing if empty)
  int nButton = IDOK;   // then pressed
  // Filled in by the driver:
  bool bSawDialog = false;
  RECT rcShown = {};
  std::string strFieldBefore;  // the field's text before typing
};

struct DriverArgs {
  RecordingPicker* pPicker;
  Script* pScript;
  HANDLE hDone;  // set when OpenFiles has returned
};

BOOL CALLBACK CloseDialogs(HWND window, LPARAM) {
  char name[16] = {};
  GetClassNameA(window, name, sizeof(name));
  if (std::string(name) == "#32770") PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

DWORD WINAPI Drive(LPVOID param) {
  DriverArgs* args = static_cast<DriverArgs*>(param);
  Script* script = args->pScript;
  if (WaitForSingleObject(args->pPicker->m_hInitialised, 60000) != WAIT_OBJECT_0) return 1;
  HWND dialog = args->pPicker->m_hDialog;
  for (int i = 0; i < 3000 && !IsWindowVisible(dialog); ++i) Sleep(20);
  script->bSawDialog = IsWindowVisible(dialog) != FALSE;
  GetWindowRect(dialog, &script->rcShown);

  // Set VEXORIN_PICKER_HOLD_MS to look at the open dialog.
  if (const char* hold = std::getenv("VEXORIN_PICKER_HOLD_MS")) Sleep(std::atoi(hold));

  HWND field = FileNameField(dialog);
  script->strFieldBefore = TextOf(field);
  if (!script->strType.empty()) SendMessageA(field, WM_SETTEXT, 0, (LPARAM)script->strType.c_str());
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(script->nButton, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, script->nButton)));

  // If the dialog stays (a complaint box, a path it did not take), cancel
  // whatever it shows so the test fails instead of hanging.
  while (WaitForSingleObject(args->hDone, 30000) == WAIT_TIMEOUT) {
    EnumThreadWindows(GetWindowThreadProcessId(dialog, nullptr), CloseDialogs, 0);
  }
  return 0;
}

std::vector<std::string> RunDialog(RecordingPicker& picker, Script& script, bool allowMultiple,
                                   const std::string& initialName = std::string(),
                                   const std::string& initialDir = std::string()) {
  ResetEvent(picker.m_hInitialised);
  picker.m_hDialog = nullptr;
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DriverArgs args = {&picker, &script, done};
  HANDLE driver = CreateThread(nullptr, 0, Drive, &args, 0, nullptr);
  std::vector<std::string> paths =
      picker.OpenFiles(nullptr, allowMultiple, nullptr, initialName, initialDir);
  SetEvent(done);
  WaitForSingleObject(driver, INFINITE);
  CloseHandle(driver);
  CloseHandle(done);
  return paths;
}

std::string TempFolder() {
  char path[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, path);
  return path;  // ends with a backslash
}

std::string CreateFileIn(const std::string& folder, const char* name) {
  std::string path = folder + name;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (h != INVALID_HANDLE_VALUE) {
    DWORD written = 0;
    WriteFile(h, "vexorin", 7, &written, nullptr);
    CloseHandle(h);
  }
  return path;
}

std::string Lower(std::string s) {
  CharLowerBuffA(&s[0], static_cast<DWORD>(s.size()));
  return s;
}

TEST(FilePickerDialog, PicksAFileCentredAndOpensNextTimeInItsFolder) {
  std::string folder = TempFolder() + "vexorin_picker_dialog\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  std::string file = CreateFileIn(folder, "picked file.txt");
  std::string other = CreateFileIn(folder, "second.txt");

  char documents[MAX_PATH] = {};
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, documents, CSIDL_PERSONAL, FALSE));
  OSVERSIONINFOEXA version = {};
  version.dwOSVersionInfoSize = sizeof(version);
  ASSERT_TRUE(GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&version)));
  RECT work;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0));

  RecordingPicker picker;

  // First pick: opens in the documents folder, centred, one file typed in.
  Script pick;
  pick.strType = file;
  std::vector<std::string> paths = RunDialog(picker, pick, false);
  ASSERT_EQ(picker.m_nInits, 1);
  EXPECT_TRUE(pick.bSawDialog);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_EQ(Lower(paths[0]), Lower(file));
  EXPECT_EQ(picker.m_strInitialDir, documents);
  EXPECT_EQ(picker.m_dwStructSize,
            FilePicker::StructSizeFor(version.dwPlatformId, version.dwMajorVersion,
                                      version.dwMinorVersion));
  EXPECT_EQ(picker.m_dwFlags & 0x881020u, 0x881020u);
  EXPECT_EQ(picker.m_dwFlags & OFN_ALLOWMULTISELECT, 0u);
  EXPECT_EQ(picker.m_dwMaxFile, FilePicker::kFileBufferSize);
  int width = pick.rcShown.right - pick.rcShown.left;
  int height = pick.rcShown.bottom - pick.rcShown.top;
  EXPECT_GT(width, 0);
  EXPECT_EQ(pick.rcShown.left, (work.right - width) / 2);
  EXPECT_EQ(pick.rcShown.top, (work.bottom - height) / 2);
  EXPECT_EQ(picker.m_rcAfterHook.left, pick.rcShown.left);
  EXPECT_EQ(picker.m_rcAfterHook.top, pick.rcShown.top);

  // Cancel: opens in the folder of the pick, returns nothing.
  Script cancel;
  cancel.nButton = IDCANCEL;
  EXPECT_TRUE(RunDialog(picker, cancel, false).empty());
  EXPECT_EQ(Lower(picker.m_strInitialDir), Lower(folder));

  // Multiple selection of two files, named relative to the folder the
  // dialog opened in, which the cancel did not change; a name longer than
  // the buffer arrives cut, not overrunning it.
  Script multi;
  multi.strType = "\"picked file.txt\" \"second.txt\"";
  paths = RunDialog(picker, multi, true, std::string(FilePicker::kFileBufferSize + 500, 'n'));
  EXPECT_EQ(Lower(picker.m_strInitialDir), Lower(folder));
  EXPECT_NE(picker.m_dwFlags & OFN_ALLOWMULTISELECT, 0u);
  EXPECT_EQ(multi.strFieldBefore, std::string(FilePicker::kFileBufferSize - 1, 'n'));
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(Lower(paths[0]), Lower(file));
  EXPECT_EQ(Lower(paths[1]), Lower(other));
  EXPECT_EQ(picker.m_nInits, 3);

  DeleteFileA(file.c_str());
  DeleteFileA(other.c_str());
  RemoveDirectoryA(folder.c_str());
}

}  // namespace
