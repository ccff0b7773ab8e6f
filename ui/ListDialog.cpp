#include "ui/ListDialog.h"

#include <commctrl.h>

#include "engine/Catalogue.h"
#include "engine/ExpectedText.h"
#include "framework/WinApp.h"
#include "res/resource.h"

namespace {

// How the controls follow the window's width: the list, the summary and
// the bar widen, the buttons keep to the right edge.
const AnchorRule kLayout[] = {
    {IDC_LIST_ROWS, Anchor::kGrow},     {IDC_LIST_SUMMARY, Anchor::kGrow},
    {IDC_LIST_PROGRESS, Anchor::kGrow}, {IDC_LIST_UNLISTED, Anchor::kGrow},
    {IDC_LIST_COPY, Anchor::kMove},     {IDC_LIST_SAVE, Anchor::kMove},
    {IDC_LIST_STOP, Anchor::kMove},
};

std::string LoadText(UINT nID) {
  char szText[512] = {};
  ::LoadStringA(AfxGetResourceHandle(), nID, szText, sizeof(szText));
  return szText;
}

// The name a path is known by: its last component, a folder's without the
// separator that may end it.
std::string ShownName(std::string path) {
  while (path.size() > 1 && (path.back() == '\\' || path.back() == '/')) path.pop_back();
  return LastPathComponent(path);
}

}  // namespace

ListDialog::ListDialog() : CDialog(IDD_LIST, nullptr) {}

ListDialog::~ListDialog() = default;

BEGIN_MESSAGE_MAP(ListDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_LIST_STOP, OnBnClickedStop)
ON_BN_CLICKED(IDC_LIST_COPY, OnBnClickedCopy)
ON_BN_CLICKED(IDC_LIST_SAVE, OnBnClickedSave)
ON_BN_CLICKED(IDC_LIST_UNLISTED, OnBnClickedUnlisted)
ON_CBN_SELCHANGE(IDC_LIST_ALGORITHM, OnCbnSelchangeAlgorithm)
END_MESSAGE_MAP()

void ListDialog::SetChecksumFile(const std::string& path) { m_strChecksumFile = path; }

void ListDialog::AddPaths(const std::vector<std::string>& paths) {
  if (IsVerifying()) return;
  m_pendingPaths.insert(m_pendingPaths.end(), paths.begin(), paths.end());
}

bool ListDialog::IsVerifying() const { return !m_strChecksumFile.empty(); }

BOOL ListDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcons(IDR_MAINFRAME);
  ::SendMessageA(GetDlgItem(IDC_LIST_PROGRESS), PBM_SETRANGE32, 0, 1000);
  for (UINT n = 0; n < kAlgorithmCount; ++n)
    ::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_ADDSTRING, 0,
                   (LPARAM)CatalogueEntryAt(n)->pszName);
  ::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_SETCURSEL, kAlgorithmSHA256, 0);
  m_view.Attach(GetDlgItem(IDC_LIST_ROWS), nullptr);
  ::ShowWindow(GetDlgItem(IDC_LIST_UNLISTED), IsVerifying() ? SW_SHOW : SW_HIDE);
  SetCaptionFrom(IsVerifying() ? m_strChecksumFile
                               : (m_pendingPaths.empty() ? std::string() : m_pendingPaths[0]));
  m_layout.Capture(m_hWnd, kLayout, sizeof(kLayout) / sizeof(kLayout[0]));
  return TRUE;
}

void ListDialog::SetCaptionFrom(const std::string& path) {
  const std::string caption = LoadText(IDS_APP_TITLE) + " - " + ShownName(path);
  SetWindowText(caption.c_str());
}

BOOL ListDialog::ConfirmQuit() {
  return MessageBox(LoadText(IDS_QUIT_WHILE_RUNNING).c_str(), "Warning",
                    MB_YESNO | MB_ICONWARNING) == IDYES;
}

void ListDialog::CloseWindow() { EndDialog(IDOK); }

void ListDialog::OnSysCommand(UINT nID, LPARAM lParam) {
  if (nID == SC_CLOSE) {
    CloseWindow();
    return;
  }
  CDialog::OnSysCommand(nID, lParam);
}

// Enter does not close a window of results.
void ListDialog::OnOK() {}

void ListDialog::OnCancel() { CloseWindow(); }

void ListDialog::OnDestroy() {
  m_taskbar.Detach();
  CDialog::OnDestroy();
}

void ListDialog::OnBnClickedStop() { CloseWindow(); }

void ListDialog::OnBnClickedCopy() {}

void ListDialog::OnBnClickedSave() {}

void ListDialog::OnBnClickedUnlisted() {}

void ListDialog::OnCbnSelchangeAlgorithm() {}

BOOL ListDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_NOTIFY && m_view.OnNotify(reinterpret_cast<const NMHDR*>(lParam), pResult))
    return TRUE;
  if (message == WM_NOTIFYFORMAT) {
    *pResult = NFR_UNICODE;  // the list's texts carry every script
    return TRUE;
  }
  if (OnLayoutMessage(message, wParam, lParam)) {
    *pResult = 0;
    return TRUE;
  }
  if (message == TaskbarProgress::ButtonCreatedMessage()) {
    m_taskbar.Attach(m_hWnd);
    *pResult = 0;
    return TRUE;
  }
  return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

BOOL ListDialog::OnLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETMINMAXINFO:
      m_layout.OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case WM_SIZE:
      m_layout.OnSize((UINT)wParam, LOWORD(lParam));
      return FALSE;
    case WM_DPICHANGED:
      m_layout.OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return FALSE;
    default:
      return FALSE;
  }
}
