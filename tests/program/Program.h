#pragma once

// One run of the built Vexorin.exe as a process of its own, and what the
// program tests share about it.
#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "engine/Hasher.h"
#include "res/resource.h"
#include "tests/common/GuiTestSupport.h"

namespace programtest {

using namespace guitest;

// The build gives a unix path; Wine reaches it through drive Z:.
inline std::string ProgramPath() {
  std::string path = VEXORIN_EXE;
  if (!path.empty() && path[0] == '/') {
    for (char& c : path)
      if (c == '/') c = '\\';
    path = "Z:" + path;
  }
  return path;
}

inline std::string Expected(int nAlgorithm, const std::string& bytes) {
  Hasher hasher((UINT)nAlgorithm);
  return hasher.HashString(bytes, "", 0, 0);
}

inline std::wstring WideFromUtf8(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
  std::vector<wchar_t> wide(n > 0 ? n : 1, L'\0');
  ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), n);
  return wide.data();
}

inline std::string SystemTextOf(DWORD dwError) {
  char sz[1024] = {};
  ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, dwError, 0,
                   sz, sizeof(sz), nullptr);
  return sz;
}

// One run of the program: started on construction, its main window found;
// a process still alive at the end is killed so that no test leaves one.
class Program {
 public:
  // Started with the arguments given (UTF-16, as the shell passes them), on
  // an empty clipboard unless the test has put something there for it; the
  // window looked for has the caption given (the list window's names its
  // checksum file or first path).
  explicit Program(const std::wstring& arguments = L"", bool bEmptyClipboard = true,
                   const std::string& caption = "Vexorin", bool bWait = true) {
    if (bEmptyClipboard) EmptyTheClipboard();
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    const std::string program = ProgramPath();
    std::wstring command = L"\"" + std::wstring(program.begin(), program.end()) + L"\"";
    if (!arguments.empty()) command += L" " + arguments;
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &m_pi))
      return;
    if (bWait) FindWindowNamed(caption, true);
  }
  // Waits for the process's window with this caption (or, with bWhole
  // false, a caption that begins with it) and makes it Window().
  bool FindWindowNamed(const std::string& caption, bool bWhole = false) {
    WaitUntil([&] {
      std::vector<HWND> found;
      if (bWhole) {
        found = TopLevelWindows(m_pi.dwProcessId, nullptr, caption.c_str());
      } else {
        for (HWND hWnd : TopLevelWindows(m_pi.dwProcessId, "#32770", nullptr))
          if (WindowText(hWnd).compare(0, caption.size(), caption) == 0) found.push_back(hWnd);
      }
      if (found.size() == 1) m_hWnd = found.front();
      return m_hWnd != nullptr || Exited();
    });
    return m_hWnd != nullptr;
  }
  ~Program() {
    if (m_pi.hProcess != nullptr) {
      if (!Exited()) {
        ::TerminateProcess(m_pi.hProcess, 99);
        ::WaitForSingleObject(m_pi.hProcess, 10000);
      }
      ::CloseHandle(m_pi.hThread);
      ::CloseHandle(m_pi.hProcess);
    }
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  HWND Window() const { return m_hWnd; }
  DWORD ProcessId() const { return m_pi.dwProcessId; }
  HWND Item(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  std::string Text(int nID) const { return WindowText(Item(nID)); }
  bool Enabled(int nID) const { return ::IsWindowEnabled(Item(nID)) != FALSE; }
  bool Checked(int nID) const { return Send(nID, BM_GETCHECK, 0, 0) == BST_CHECKED; }
  int ProgressPos() const { return (int)Send(IDC_PROGRESS, PBM_GETPOS, 0, 0); }

  // Sent messages whose handlers return at once; a handler that opens a
  // box instead shows as a time-out rather than a hung test.
  LRESULT Send(int nID, UINT message, WPARAM wParam, LPARAM lParam) const {
    DWORD_PTR dwResult = 0;
    HWND hWnd = nID == 0 ? m_hWnd : Item(nID);
    if (!::SendMessageTimeoutA(hWnd, message, wParam, lParam, SMTO_NORMAL, 10000, &dwResult))
      return -1;
    return (LRESULT)dwResult;
  }
  void SetText(int nID, const std::string& text) { Send(nID, WM_SETTEXT, 0, (LPARAM)text.c_str()); }
  void Click(int nID) { Send(nID, BM_CLICK, 0, 0); }
  // A click whose handler may open a modal box: posted, as the button would.
  void PostClick(int nID) {
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), (LPARAM)Item(nID));
  }
  void PostCloseBox() { ::PostMessageA(m_hWnd, WM_SYSCOMMAND, SC_CLOSE, 0); }
  void SelectAlgorithm(int nIndex) {
    Send(IDC_ALGORITHM, CB_SETCURSEL, nIndex, 0);
    Send(0, WM_COMMAND, MAKEWPARAM(IDC_ALGORITHM, CBN_SELCHANGE), (LPARAM)Item(IDC_ALGORITHM));
  }

  // A message box of the program owned by its main window.
  HWND WaitForBox(const char* pszCaption, DWORD dwTimeoutMs = 15000) const {
    HWND hBox = nullptr;
    WaitUntil(
        [&] {
          std::vector<HWND> found = TopLevelWindows(m_pi.dwProcessId, "#32770", pszCaption, m_hWnd);
          if (!found.empty()) hBox = found.front();
          return hBox != nullptr;
        },
        dwTimeoutMs);
    return hBox;
  }

  bool Exited() const { return ::WaitForSingleObject(m_pi.hProcess, 0) == WAIT_OBJECT_0; }
  // The exit code once the process has ended; STILL_ACTIVE if it did not.
  DWORD WaitExitCode(DWORD dwTimeoutMs = 30000) const {
    ::WaitForSingleObject(m_pi.hProcess, dwTimeoutMs);
    DWORD dwCode = STILL_ACTIVE;
    ::GetExitCodeProcess(m_pi.hProcess, &dwCode);
    return dwCode;
  }

  // The control that has the keyboard focus in the program, if any.
  HWND Focus() const {
    GUITHREADINFO info = {};
    info.cbSize = sizeof(info);
    if (!::GetGUIThreadInfo(::GetWindowThreadProcessId(m_hWnd, nullptr), &info)) return nullptr;
    return info.hwndFocus;
  }
  // Brings the window to the front, where real key presses reach it, with
  // the focus on control nID.
  bool FocusOn(int nID) {
    ::SetForegroundWindow(m_hWnd);
    return WaitUntil([&] { return ::GetForegroundWindow() == m_hWnd && Focus() == Item(nID); },
                     15000);
  }

  // Runs a whole file job from the Start click to the shown result.
  std::string RunFileJob(const std::string& path) {
    SetText(IDC_DATA, path);
    PostClick(IDC_START);
    if (!WaitUntil([&] { return Text(IDC_START) == "Start" && !Text(IDC_RESULT).empty(); }))
      return "<no result>";
    return Text(IDC_RESULT);
  }

 private:
  PROCESS_INFORMATION m_pi = {};
  HWND m_hWnd = nullptr;
};

}  // namespace programtest
