#pragma once

// Runs the real main dialog on a user-interface thread of its own and
// drives it from the test thread with window messages and real input, the
// way a user (or another program) would.
#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "framework/WinApp.h"
#include "res/resource.h"
#include "tests/common/GuiTestSupport.h"
#include "tests/common/TempFile.h"
#include "ui/MainDialog.h"

// Exposes what the tests look at and lets them make thread creation fail.
class TestDialog : public MainDialog {
 public:
  ~TestDialog() override {
    if (HANDLE h = m_hLastWorker.exchange(nullptr)) ::CloseHandle(h);
    ::CloseHandle(m_hHeld);
    ::CloseHandle(m_hRelease);
  }

  // Holds the next worker that reaches the step until Release(); a test
  // sees the dialog between two steps of a job that way.
  void HoldAt(WorkerStep step) {
    ::ResetEvent(m_hHeld);
    ::ResetEvent(m_hRelease);
    m_nHoldStep = step;
  }
  bool WaitHeld() { return ::WaitForSingleObject(m_hHeld, 60000) == WAIT_OBJECT_0; }
  void Release() { ::SetEvent(m_hRelease); }
  // Lets a held worker go and holds no other.
  void HoldNowhere() {
    m_nHoldStep = -1;
    ::SetEvent(m_hRelease);
  }

  bool m_bFailBind = false;
  bool m_bFailCreate = false;
  // The paths of each drop the dialog handed to the list window.
  std::vector<std::vector<std::string>> m_listed;
  std::atomic<int> m_nThreadsStarted{0};
  std::atomic<int> m_nSecondPasses{0};
  // A handle of the test's own on the last worker, valid after the dialog
  // has closed its one.
  std::atomic<HANDLE> m_hLastWorker{nullptr};

 private:
  std::atomic<int> m_nHoldStep{-1};
  HANDLE m_hHeld = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  HANDLE m_hRelease = ::CreateEventA(nullptr, FALSE, FALSE, nullptr);  // one release a hold

 protected:
  void OnWorkerStep(WorkerStep step) override {
    if (step == kSecondPass) ++m_nSecondPasses;
    if (step != m_nHoldStep.load()) return;
    m_nHoldStep = -1;
    ::SetEvent(m_hHeld);
    ::WaitForSingleObject(m_hRelease, INFINITE);
  }
  bool OpenInListWindow(const std::vector<std::string>& paths) override {
    m_listed.push_back(paths);
    return true;
  }
  void* BindWorker(FileJob& job) override {
    return m_bFailBind ? nullptr : MainDialog::BindWorker(job);
  }
  HANDLE CreateWorker(void* pfnStart, DWORD* pdwThreadId) override {
    if (m_bFailCreate) return nullptr;
    HANDLE hThread = MainDialog::CreateWorker(pfnStart, pdwThreadId);
    if (hThread != nullptr) {
      HANDLE hCopy = nullptr;
      ::DuplicateHandle(::GetCurrentProcess(), hThread, ::GetCurrentProcess(), &hCopy, 0, FALSE,
                        DUPLICATE_SAME_ACCESS);
      if (HANDLE hOld = m_hLastWorker.exchange(hCopy)) ::CloseHandle(hOld);
      ++m_nThreadsStarted;
    }
    return hThread;
  }
};

using guitest::AnswerBox;
using guitest::BoxText;
using guitest::ClipboardText;
using guitest::FindOwnedBox;
using guitest::PutOnClipboard;
using guitest::WaitForBox;
using guitest::WaitUntil;
using guitest::WindowText;

class DialogDriver {
 public:
  // The dialog opens on an empty clipboard unless the test has put
  // something there for it, on the path a command line names if any.
  explicit DialogDriver(bool bEmptyClipboard = true, const std::string& startPath = "") {
    if (bEmptyClipboard) guitest::EmptyTheClipboard();
    m_dialog.SetStartPath(startPath);
    m_hThread = ::CreateThread(nullptr, 0, &DialogDriver::Run, this, 0, nullptr);
    WaitUntil([&] { return m_dialog.m_hWnd != nullptr && ::IsWindowVisible(m_dialog.m_hWnd); });
    m_hWnd = m_dialog.m_hWnd;
  }
  ~DialogDriver() {
    m_dialog.HoldNowhere();
    if (!Ended()) {
      m_dialog.m_job.m_bRunning = FALSE;
      ::PostMessageA(m_hWnd, WM_COMMAND, IDOK, 0);
    }
    ::WaitForSingleObject(m_hThread, 120000);
    ::CloseHandle(m_hThread);
  }
  DialogDriver(const DialogDriver&) = delete;
  DialogDriver& operator=(const DialogDriver&) = delete;

  HWND Item(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  std::string Text(int nID) const { return WindowText(Item(nID)); }
  void SetText(int nID, const std::string& text) {
    ::SendMessageA(Item(nID), WM_SETTEXT, 0, (LPARAM)text.c_str());
  }
  bool Enabled(int nID) const { return ::IsWindowEnabled(Item(nID)) != FALSE; }
  bool Visible(int nID) const { return ::IsWindowVisible(Item(nID)) != FALSE; }
  bool ReadOnly(int nID) const {
    return (::GetWindowLongA(Item(nID), GWL_STYLE) & ES_READONLY) != 0;
  }
  bool Checked(int nID) const {
    return ::SendMessageA(Item(nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  // A click whose handler returns at once.
  void Click(int nID) { ::SendMessageA(Item(nID), BM_CLICK, 0, 0); }
  // A click whose handler may open a modal box.
  void PostClick(int nID) {
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), (LPARAM)Item(nID));
  }
  void SelectAlgorithm(int nIndex) {
    ::SendMessageA(Item(IDC_ALGORITHM), CB_SETCURSEL, nIndex, 0);
    ::SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_ALGORITHM, CBN_SELCHANGE),
                   (LPARAM)Item(IDC_ALGORITHM));
  }
  UINT Selected() const { return (UINT)::SendMessageA(Item(IDC_ALGORITHM), CB_GETCURSEL, 0, 0); }
  int ProgressPos() const { return (int)::SendMessageA(Item(IDC_PROGRESS), PBM_GETPOS, 0, 0); }
  bool Ended() const { return ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0; }
  bool WaitEnded() {
    return WaitUntil([&] { return Ended(); }, 120000);
  }
  // The worker thread of the last job has ended.
  bool WaitJobGone() {
    return WaitUntil([&] {
      HANDLE h = m_dialog.m_hLastWorker;
      return h == nullptr || ::WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    });
  }
  // Runs a whole file job and returns the result text.
  std::string RunFileJob(const std::string& path) {
    SetText(IDC_DATA, path);
    const int nBefore = m_dialog.m_nThreadsStarted;
    PostClick(IDC_START);
    if (!WaitUntil([&] { return m_dialog.m_nThreadsStarted != nBefore; })) return "<no job>";
    WaitJobGone();
    return Text(IDC_RESULT);
  }

  TestDialog m_dialog;
  HWND m_hWnd = nullptr;
  INT_PTR m_nResult = 0;

 private:
  static DWORD WINAPI Run(LPVOID lpParameter) {
    DialogDriver* p = static_cast<DialogDriver*>(lpParameter);
    AfxGetApp()->m_pMainWnd = &p->m_dialog;
    p->m_nResult = p->m_dialog.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    return 0;
  }

  HANDLE m_hThread = nullptr;
};

// The tooltip the dialog owns, found as a user's pointer would meet it.
inline HWND TooltipOf(HWND hDlg) {
  struct Search {
    HWND hDlg;
    HWND hFound;
  } search = {hDlg, nullptr};
  struct Enum {
    static BOOL CALLBACK Proc(HWND hWnd, LPARAM lParam) {
      Search* p = reinterpret_cast<Search*>(lParam);
      char szClass[32] = {};
      ::GetClassNameA(hWnd, szClass, sizeof(szClass));
      if (std::string(szClass) == TOOLTIPS_CLASSA && ::GetWindow(hWnd, GW_OWNER) == p->hDlg) {
        p->hFound = hWnd;
        return FALSE;
      }
      return TRUE;
    }
  };
  ::EnumThreadWindows(::GetWindowThreadProcessId(hDlg, nullptr), &Enum::Proc, (LPARAM)&search);
  return search.hFound;
}

// The text the tooltip shows for the verdict; "<no tool>" without one.
// Asked for in UTF-16: the ANSI form of the message stops at 80 bytes.
inline std::string VerdictTip(DialogDriver& d) {
  wchar_t szText[1025] = {};
  TTTOOLINFOW ti = {};
  ti.cbSize = TTTOOLINFOW_V2_SIZE;
  ti.hwnd = d.m_hWnd;
  ti.uId = (UINT_PTR)d.Item(IDC_VERDICT);
  HWND hTip = TooltipOf(d.m_hWnd);
  if (hTip == nullptr || !::SendMessageW(hTip, TTM_GETTOOLINFOW, 0, (LPARAM)&ti))
    return "<no tool>";
  ti.lpszText = szText;
  ::SendMessageW(hTip, TTM_GETTEXTW, 1024, (LPARAM)&ti);
  char szBytes[4 * 1025] = {};
  ::WideCharToMultiByte(CP_ACP, 0, szText, -1, szBytes, sizeof(szBytes), nullptr, nullptr);
  return szBytes;
}
