#pragma once

// Runs the real list window on a user-interface thread of its own and
// drives it from the test thread with window messages, as a user (or
// another program) would.
#include <windows.h>
#include <commctrl.h>

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "framework/WinApp.h"
#include "res/resource.h"
#include "tests/common/GuiTestSupport.h"
#include "ui/ListDialog.h"

// Answers for the system's save dialog and lets a test add paths on the
// window's own thread.
class TestListDialog : public ListDialog {
 public:
  static const UINT kAddPaths = WM_APP + 40;  // lParam: const std::vector<std::string>*
  static const UINT kMarker = WM_APP + 41;    // posted: the posted messages before it are done

  std::string m_strSavePath;
  ChecksumForm m_saveForm = ChecksumForm::kGnu;
  std::string m_strProposed;  // what Save proposed last
  std::atomic<int> m_nMarkers{0};

  bool Running() const { return m_job.IsRunning(); }

 protected:
  bool ChooseSavePath(const std::string& proposed, std::string* pPath,
                      ChecksumForm* pForm) override {
    m_strProposed = proposed;
    if (m_strSavePath.empty()) return false;
    *pPath = m_strSavePath;
    *pForm = m_saveForm;
    return true;
  }
  BOOL OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) override {
    if (message == kAddPaths) {
      AddPaths(*reinterpret_cast<const std::vector<std::string>*>(lParam));
      *pResult = 0;
      return TRUE;
    }
    if (message == kMarker) {
      ++m_nMarkers;
      *pResult = 0;
      return TRUE;
    }
    return ListDialog::OnWndMsg(message, wParam, lParam, pResult);
  }
};

class ListDriver {
 public:
  // setup runs on the window's thread before it opens (SetChecksumFile,
  // AddPaths).
  explicit ListDriver(std::function<void(TestListDialog&)> setup) : m_setup(std::move(setup)) {
    INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&icc);
    m_hThread = ::CreateThread(nullptr, 0, &ListDriver::Run, this, 0, nullptr);
    guitest::WaitUntil(
        [&] { return m_dialog.m_hWnd != nullptr && ::IsWindowVisible(m_dialog.m_hWnd); });
    m_hWnd = m_dialog.m_hWnd;
  }
  ~ListDriver() {
    if (!Ended()) {
      if (m_dialog.Running()) Click(IDC_LIST_STOP);  // a run under way stops at once
      WaitIdle();
      PostClick(IDC_LIST_STOP);  // and Close closes
    }
    ::WaitForSingleObject(m_hThread, 120000);
    ::CloseHandle(m_hThread);
  }
  ListDriver(const ListDriver&) = delete;
  ListDriver& operator=(const ListDriver&) = delete;

  HWND Item(int nID) const { return ::GetDlgItem(m_hWnd, nID); }
  std::string Text(int nID) const { return guitest::WindowText(Item(nID)); }
  std::string Caption() const { return guitest::WindowText(m_hWnd); }
  bool Ended() const { return ::WaitForSingleObject(m_hThread, 0) == WAIT_OBJECT_0; }
  bool WaitEnded() {
    return guitest::WaitUntil([&] { return Ended(); }, 120000);
  }
  void PostClick(int nID) {
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(nID, BN_CLICKED), (LPARAM)Item(nID));
  }
  void Click(int nID) { ::SendMessageA(Item(nID), BM_CLICK, 0, 0); }

  // No job runs, and none is about to start: the window's posted messages
  // (a job's end asks for the next one that way) have been handled.
  bool WaitIdle(DWORD dwTimeoutMs = 120000) {
    const DWORD dwStart = ::GetTickCount();
    for (;;) {
      if (!guitest::WaitUntil([&] { return !m_dialog.Running(); }, dwTimeoutMs)) return false;
      const int nBefore = m_dialog.m_nMarkers;
      ::PostMessageA(m_hWnd, TestListDialog::kMarker, 0, 0);
      if (!guitest::WaitUntil([&] { return m_dialog.m_nMarkers != nBefore || Ended(); },
                              dwTimeoutMs) ||
          Ended())
        return false;
      if (!m_dialog.Running()) return true;
      if (::GetTickCount() - dwStart > dwTimeoutMs) return false;
    }
  }
  void AddPaths(const std::vector<std::string>& paths) {
    ::SendMessageA(m_hWnd, TestListDialog::kAddPaths, 0, (LPARAM)&paths);
  }
  void SelectAlgorithm(UINT nEntry) {
    ::SendMessageA(Item(IDC_LIST_ALGORITHM), CB_SETCURSEL, nEntry, 0);
    ::SendMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_LIST_ALGORITHM, CBN_SELCHANGE),
                   (LPARAM)Item(IDC_LIST_ALGORITHM));
  }

  // The list as its control holds it.
  int Rows() const { return (int)::SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0); }
  std::string Cell(int nRow, int nColumn) const;
  // What the list asks its parent for a row's tooltip and colour.
  std::string Tip(int nRow) const;
  COLORREF RowColour(int nRow) const;
  // The rows whose Name is name; -1 when none.
  int RowNamed(const std::string& name) const {
    for (int i = 0; i < Rows(); ++i)
      if (Cell(i, 0) == name) return i;
    return -1;
  }
  void Select(const std::vector<int>& rows) {
    LVITEMW item = {};
    item.stateMask = LVIS_SELECTED;
    ::SendMessageW(List(), LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&item);  // none
    item.state = LVIS_SELECTED;
    for (int nRow : rows) ::SendMessageW(List(), LVM_SETITEMSTATE, nRow, (LPARAM)&item);
  }
  HWND List() const { return Item(IDC_LIST_ROWS); }

  TestListDialog m_dialog;
  HWND m_hWnd = nullptr;

 private:
  static DWORD WINAPI Run(LPVOID lpParameter) {
    ListDriver* p = static_cast<ListDriver*>(lpParameter);
    p->m_setup(p->m_dialog);
    AfxGetApp()->m_pMainWnd = &p->m_dialog;
    p->m_nResult = p->m_dialog.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
    return 0;
  }

  std::function<void(TestListDialog&)> m_setup;
  HANDLE m_hThread = nullptr;
  INT_PTR m_nResult = 0;
};

inline std::string Utf8FromWide(const wchar_t* psz) {
  char sz[4 * 1100] = {};
  ::WideCharToMultiByte(CP_UTF8, 0, psz, -1, sz, sizeof(sz), nullptr, nullptr);
  return sz;
}

inline std::string ListDriver::Cell(int nRow, int nColumn) const {
  wchar_t szText[1100] = {};
  LVITEMW item = {};
  item.iSubItem = nColumn;
  item.pszText = szText;
  item.cchTextMax = 1099;
  ::SendMessageW(List(), LVM_GETITEMTEXTW, nRow, (LPARAM)&item);
  return Utf8FromWide(szText);
}

inline std::string ListDriver::Tip(int nRow) const {
  wchar_t szText[1100] = {};
  NMLVGETINFOTIPW tip = {};
  tip.hdr.hwndFrom = List();
  tip.hdr.idFrom = IDC_LIST_ROWS;
  tip.hdr.code = LVN_GETINFOTIPW;
  tip.pszText = szText;
  tip.cchTextMax = 1099;
  tip.iItem = nRow;
  ::SendMessageW(m_hWnd, WM_NOTIFY, IDC_LIST_ROWS, (LPARAM)&tip);
  return Utf8FromWide(szText);
}

inline COLORREF ListDriver::RowColour(int nRow) const {
  NMLVCUSTOMDRAW draw = {};
  draw.nmcd.hdr.hwndFrom = List();
  draw.nmcd.hdr.idFrom = IDC_LIST_ROWS;
  draw.nmcd.hdr.code = NM_CUSTOMDRAW;
  draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
  draw.nmcd.dwItemSpec = (DWORD_PTR)nRow;
  draw.clrText = CLR_DEFAULT;
  ::SendMessageW(m_hWnd, WM_NOTIFY, IDC_LIST_ROWS, (LPARAM)&draw);
  return draw.clrText;
}
