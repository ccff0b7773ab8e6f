#include "ui/MainDialog.h"

#include <commctrl.h>

#include <vector>

#include "engine/ProgressCallback.h"
#include "fileio/LongPath.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/AboutDialog.h"
#include "ui/Clipboard.h"

namespace {

// The input controls that a file job disables, in the order they change.
const int kJobControls[] = {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA,     IDC_BROWSE,
                            IDC_KEY,       IDC_RESULT, IDC_COPY, IDC_UPPERCASE};

// How the controls follow the window's width; the labels and "Result to
// uppercase" stay where they are.
const AnchorRule kLayout[] = {
    {IDC_ALGORITHM, Anchor::kGrow}, {IDC_DATA, Anchor::kGrow},     {IDC_KEY, Anchor::kGrow},
    {IDC_RESULT, Anchor::kGrow},    {IDC_PROGRESS, Anchor::kGrow}, {IDC_EXPECTED, Anchor::kGrow},
    {IDC_GROUP, Anchor::kGrow},     {IDC_BROWSE, Anchor::kMove},   {IDC_HMAC, Anchor::kMove},
    {IDC_COPY, Anchor::kMove},      {IDC_START, Anchor::kMove},    {IDC_VERDICT, Anchor::kMove},
    {IDC_ABOUT, Anchor::kMove},     {IDOK, Anchor::kMove},
};

std::string LoadText(UINT nID) {
  char szText[512] = {};
  ::LoadStringA(AfxGetResourceHandle(), nID, szText, sizeof(szText));
  return szText;
}

}  // namespace

// What the worker hands back at a job's end; applied on the dialog's thread.
class MainDialog::JobEnd : public FileJobEnd {
 public:
  explicit JobEnd(MainDialog& dialog) : m_dialog(dialog) {}
  bool HasNotice() const override { return nNotice != 0 || outcome.bFailed; }
  void ShowNotice() override { m_dialog.ShowJobNotice(*this); }
  void Apply() override { m_dialog.ApplyJobEnd(*this); }

  UINT nNotice = 0;  // a string to show before the job ends
  FileSearchOutcome outcome;
  std::string strExpected;  // what the search judged

 private:
  MainDialog& m_dialog;
};

MainDialog::MainDialog()
    : CDialog(IDD_MAIN, nullptr),
      m_hIcon(::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {}

MainDialog::~MainDialog() {
  m_job.Close();  // normally done when the window went away
}

BEGIN_MESSAGE_MAP(MainDialog, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_STRING, OnBnClickedString)
ON_BN_CLICKED(IDC_FILE, OnBnClickedFile)
ON_CBN_SELCHANGE(IDC_ALGORITHM, OnCbnSelchangeAlgorithm)
ON_BN_CLICKED(IDC_HMAC, OnBnClickedHmac)
ON_BN_CLICKED(IDC_BROWSE, OnBnClickedBrowse)
ON_BN_CLICKED(IDC_COPY, OnBnClickedCopy)
ON_BN_CLICKED(IDC_START, OnBnClickedStart)
ON_BN_CLICKED(IDC_UPPERCASE, OnBnClickedUppercase)
ON_BN_CLICKED(IDC_ABOUT, OnBnClickedAbout)
ON_EN_CHANGE(IDC_DATA, OnEnChangeData)
ON_EN_CHANGE(IDC_KEY, OnEnChangeKey)
ON_EN_CHANGE(IDC_RESULT, OnEnChangeResult)
ON_EN_CHANGE(IDC_EXPECTED, OnEnChangeExpected)
ON_WM_CTLCOLOR()
ON_WM_DROPFILES()
END_MESSAGE_MAP()

void MainDialog::DoDataExchange(CDataExchange* pDX) {
  CDialog::DoDataExchange(pDX);
  DDX_Control(pDX, IDC_PROGRESS, m_progress);
  DDX_Control(pDX, IDC_ALGORITHM, m_algorithms);
}

BOOL MainDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcons(IDR_MAINFRAME);
  for (UINT n = 0; n < kAlgorithmCount; ++n) m_algorithms.AddString(CatalogueEntryAt(n)->pszName);
  m_algorithms.SetCurSel(0);
  m_expected.Attach(*this, IDC_EXPECTED, IDC_VERDICT);
  // Both fields take any length memory allows: a cut text would give the
  // digest of the cut text as the digest of the whole.
  SendDlgItemMessage(IDC_DATA, EM_SETLIMITTEXT, 0, 0);
  SendDlgItemMessage(IDC_KEY, EM_SETLIMITTEXT, 0, 0);
  SetDataType(true);
  CheckDlgButton(IDC_STRING, BST_CHECKED);
  ::EnableWindow(GetDlgItem(IDC_KEY), FALSE);
  ::EnableWindow(GetDlgItem(IDC_HMAC), FALSE);
  if (!m_strStartPath.empty()) {
    CheckDlgButton(IDC_STRING, BST_UNCHECKED);
    CheckDlgButton(IDC_FILE, BST_CHECKED);
    SetDataType(false);
    SetDlgItemText(IDC_DATA, m_strStartPath.c_str());
  }
  // Opened on a file with a published digest at hand (on the clipboard, or
  // in a checksum file beside it), the check runs at once; the click comes
  // once the window is up.
  const bool bPickedUp = m_expected.PickUpClipboard(true);
  if (!m_strStartPath.empty() && (bPickedUp || m_expected.PickUpSidecar(m_strStartPath)))
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
                   (LPARAM)GetDlgItem(IDC_START));
  m_layout.Capture(m_hWnd, kLayout, sizeof(kLayout) / sizeof(kLayout[0]));
  return TRUE;  // focus to the first tab stop: the data source
}

void MainDialog::SetDataType(bool bString) {
  RECT rc;
  ::GetWindowRect(GetDlgItem(bString ? IDC_ALGORITHM : IDC_RESULT), &rc);
  HWND hData = GetDlgItem(IDC_DATA);
  // Sizing without SWP_NOZORDER also puts the field first in the tab order.
  ::SetWindowPos(hData, HWND_TOP, 0, 0, rc.right - rc.left, rc.bottom - rc.top,
                 SWP_NOMOVE | SWP_NOOWNERZORDER);
  ::SendMessageA(hData, EM_SETREADONLY, bString ? FALSE : TRUE, 0);
  ::ShowWindow(GetDlgItem(IDC_BROWSE), bString ? SW_HIDE : SW_SHOW);
  DragAcceptFiles(bString ? FALSE : TRUE);
  ::EnableWindow(GetDlgItem(IDC_START), bString ? FALSE : TRUE);
  SetDlgItemText(IDC_DATA, "");
  SetDlgItemText(IDC_RESULT, "");
}

void MainDialog::EnableControls(bool bEnable) {
  for (int nID : kJobControls) ::EnableWindow(GetDlgItem(nID), bEnable ? TRUE : FALSE);
  ::EnableWindow(GetDlgItem(IDC_HMAC), bEnable && OffersHmac((UINT)m_algorithms.GetCurSel()));
}

BOOL MainDialog::PreTranslateMessage(MSG* pMsg) {
  if (pMsg->message == WM_KEYDOWN) {
    if (pMsg->wParam == VK_RETURN || pMsg->wParam == VK_ESCAPE) return TRUE;
    if (pMsg->wParam == 0x41 &&
        ((::GetKeyState(VK_LCONTROL) & 0x8000) || (::GetKeyState(VK_RCONTROL) & 0x8000))) {
      HWND hField = nullptr;
      for (int nID : {IDC_DATA, IDC_KEY, IDC_RESULT, IDC_EXPECTED}) {
        if (pMsg->hwnd == GetDlgItem(nID)) {
          hField = pMsg->hwnd;
          break;
        }
      }
      if (hField != nullptr) {
        const int nLength = ::GetWindowTextLengthA(hField);
        if (nLength > 0) ::SendMessageA(hField, EM_SETSEL, 0, nLength);
      }
    }
  }
  return CDialog::PreTranslateMessage(pMsg);
}

BOOL MainDialog::ConfirmQuit() {
  return MessageBox(LoadText(IDS_QUIT_WHILE_RUNNING).c_str(), "Warning",
                    MB_YESNO | MB_ICONWARNING) == IDYES;
}

void MainDialog::OnSysCommand(UINT nID, LPARAM lParam) {
  if (nID == SC_CLOSE && m_job.IsRunning() && !ConfirmQuit()) return;
  CDialog::OnSysCommand(nID, lParam);
}

void MainDialog::OnOK() {
  if (m_job.IsRunning() && !ConfirmQuit()) return;
  CDialog::OnOK();
}

void MainDialog::OnDestroy() {
  // The worker must be gone before the dialog and its controls.
  m_job.Close();
  m_taskbar.Detach();
  CDialog::OnDestroy();
}

void MainDialog::OnPaint() {
  if (IsIconic())
    PaintIcon(m_hIcon);
  else
    CDialog::OnPaint();
}

HCURSOR MainDialog::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void MainDialog::OnDropFiles(HDROP hDropInfo) {
  // Only File mode accepts drops; a drop message that comes anyway changes
  // nothing.
  // Several files, or a folder, go to the list window.
  const bool bAccepting = (::GetWindowLongA(m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
  const std::vector<std::string> paths =
      bAccepting ? DroppedPaths(hDropInfo) : std::vector<std::string>();
  if (paths.size() > 1 || (paths.size() == 1 && IsFolderPath(paths.front())))
    OpenInListWindow(paths);
  else if (paths.size() == 1)
    OpenFile(paths.front());
  CDialog::OnDropFiles(hDropInfo);
  ::DragFinish(hDropInfo);
}

void MainDialog::OnBnClickedString() {
  SetDataType(true);
  ::SetFocus(GetDlgItem(IDC_DATA));
}

void MainDialog::OnBnClickedFile() { SetDataType(false); }

void MainDialog::OnCbnSelchangeAlgorithm() {
  // Only the user's own choice comes here: a found entry is selected
  // without this notice.
  m_bHandChoice = true;
  m_expected.ForgetSearch();
  if (!OffersHmac((UINT)m_algorithms.GetCurSel())) {
    ::EnableWindow(GetDlgItem(IDC_KEY), FALSE);
    ::EnableWindow(GetDlgItem(IDC_HMAC), FALSE);
    SetDlgItemText(IDC_KEY, "");
  } else {
    ::EnableWindow(GetDlgItem(IDC_KEY), TRUE);
    ::EnableWindow(GetDlgItem(IDC_HMAC), TRUE);
  }
  UpdateStringDigest();
}

void MainDialog::OnBnClickedHmac() {
  HWND hKey = GetDlgItem(IDC_KEY);
  SetDlgItemText(IDC_RESULT, "");
  if (IsDlgButtonChecked(IDC_HMAC)) {
    ::SendMessageA(hKey, EM_SETREADONLY, FALSE, 0);
    ::SetFocus(hKey);
  } else {
    ::SendMessageA(hKey, EM_SETREADONLY, TRUE, 0);
    if (::GetWindowTextLengthA(hKey) > 0) SetDlgItemText(IDC_KEY, "");
  }
}

void MainDialog::OnBnClickedBrowse() {
  const std::vector<std::string> paths = m_picker.OpenFiles(m_hWnd, false, nullptr, "", "");
  if (!paths.empty()) OpenFile(paths.front());
}

void MainDialog::OpenFile(const std::string& strPath) {
  SetDlgItemText(IDC_DATA, strPath.c_str());
  m_expected.PickUpSidecar(strPath);
}

void MainDialog::OnBnClickedCopy() {
  const std::string strText = ReadControlText(GetDlgItem(IDC_RESULT));
  if (strText.empty()) return;
  // A busy clipboard, or one without memory for it, is left alone quietly.
  if (!PutOnClipboard(m_hWnd, strText)) return;
  // Our own result is never taken back into Expected as a published one.
  m_expected.NoteOwnCopy();
  AfxMessageBox("The result copied to clipboard successed!");
}

void MainDialog::OnBnClickedUppercase() {
  std::string strText = ReadControlText(GetDlgItem(IDC_RESULT));
  if (strText.empty()) return;
  if (IsDlgButtonChecked(IDC_UPPERCASE))
    ::CharUpperBuffA(&strText[0], (DWORD)strText.size());
  else
    ::CharLowerBuffA(&strText[0], (DWORD)strText.size());
  SetDlgItemText(IDC_RESULT, strText.c_str());
}

void MainDialog::OnBnClickedAbout() {
  AboutDialog dialog;
  dialog.DoModal();
}

void MainDialog::OnEnChangeData() { UpdateStringDigest(); }

void MainDialog::OnEnChangeKey() { UpdateStringDigest(); }

// Every way a result arrives (typing, a file job's end, a re-casing, a
// clearing) sets the result field's text, so its change notice suffices.
void MainDialog::OnEnChangeResult() { UpdateVerdict(); }

// A new Expected ends a choice made by hand; in String mode it searches
// the entries of its length at once.
void MainDialog::OnEnChangeExpected() {
  m_bHandChoice = false;
  m_expected.OnTextChanged();
  if (IsDlgButtonChecked(IDC_STRING)) UpdateStringDigest();
  UpdateVerdict();
}

VerdictSubject MainDialog::CurrentSubject() const {
  VerdictSubject subject;
  subject.strResult = ReadControlText(GetDlgItem(IDC_RESULT));
  subject.nAlgorithm = (UINT)m_algorithms.GetCurSel();
  // The chosen file's name in File mode (a checksum text's line names it).
  if (IsDlgButtonChecked(IDC_FILE))
    subject.strFileName = LastPathComponent(ReadControlText(GetDlgItem(IDC_DATA)));
  return subject;
}

HBRUSH MainDialog::OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor) {
  const HBRUSH hBrush = CDialog::OnCtlColor(hDC, hWnd, nCtlColor);
  m_expected.ColourVerdict(hDC, hWnd);
  return hBrush;
}

void MainDialog::UpdateStringDigest() {
  if (IsDlgButtonChecked(IDC_FILE)) {
    SetDlgItemText(IDC_RESULT, "");
    m_progress.SetPos(0);
    return;
  }
  const UINT nAlgorithm = (UINT)m_algorithms.GetCurSel();
  const int nHmac = IsDlgButtonChecked(IDC_HMAC);
  const int nUpper = IsDlgButtonChecked(IDC_UPPERCASE);
  const std::string strData = ReadControlText(GetDlgItem(IDC_DATA));
  const std::string strKey = ReadControlText(GetDlgItem(IDC_KEY));
  if (strData.empty() || (nHmac && strKey.empty())) {
    SetDlgItemText(IDC_RESULT, "");
    m_progress.SetPos(0);
    return;
  }
  m_expected.ForgetSearch();
  const EntrySearch search =
      SearchString(strData, strKey, nHmac, nUpper, m_expected.Parsed(), nAlgorithm, m_bHandChoice);
  ShowSearch(search, search.bSearched ? m_expected.Text() : std::string());
  SetDlgItemText(IDC_RESULT, search.strResult.c_str());
}

void MainDialog::ShowSearch(const EntrySearch& search, const std::string& strExpected) {
  // The list shows the entry whose result is shown, found or not.
  if (search.nEntry != kAlgorithmCount && search.nEntry != (UINT)m_algorithms.GetCurSel())
    SelectFoundEntry(search.nEntry);
  if (search.bSearched)
    m_expected.KeepSearch(search.nEntry, search.strResult, strExpected, search.verdict);
}

void MainDialog::OnBnClickedStart() {
  if (m_job.HoldsStartClick()) return;
  SetDlgItemText(IDC_RESULT, "");
  if (ReadControlText(GetDlgItem(IDC_START)) == "Stop") {
    if (MessageBox(LoadText(IDS_STOP_WHILE_RUNNING).c_str(), "Warning",
                   MB_YESNO | MB_ICONWARNING) == IDYES)
      m_job.RequestStop();
    return;
  }
  if (m_job.Start(m_hWnd)) m_expected.ForgetSearch();
}

void MainDialog::OnProgress(int nPercent) {
  // The bar repaints inside PBM_SETPOS; waiting for that would cost a fast
  // file job a tenth of its time, so the worker does not wait. A notify
  // message still joins the queue of messages this thread sends, so it is
  // handled before every later send of the job (the final position, the
  // re-enabled controls, the result).
  if (!m_reports.Admit(nPercent, ::GetTickCount())) return;
  ::SendNotifyMessageA(m_progress.m_hWnd, PBM_SETPOS, (WPARAM)nPercent, 0);
  TaskbarProgress::Report(m_hWnd, nPercent);
  OnWorkerStep(kReported);
}

void MainDialog::RunJob(FileJob& job) {
  JobEnd end(*this);
  FileSearchInput in;
  in.strPath = ReadControlText(GetDlgItem(IDC_DATA));
  OnWorkerStep(kPathRead);
  if (in.strPath.empty()) {
    end.nNotice = IDS_NO_FILE_NAME;
  } else {
    SetDlgItemText(IDC_START, "Stop");
    OnWorkerStep(kStopShown);
    in.nSelected = (UINT)m_algorithms.GetCurSel();
    in.nHmac = IsDlgButtonChecked(IDC_HMAC);
    in.nUpper = IsDlgButtonChecked(IDC_UPPERCASE);
    in.strKey = ReadControlText(GetDlgItem(IDC_KEY));
    if (!in.nHmac || !in.strKey.empty()) {
      in.strExpected = ReadControlText(GetDlgItem(IDC_EXPECTED));
      in.bHandChoice = m_bHandChoice;
      end.strExpected = in.strExpected;
      end.outcome = SearchFile(job, in, *this, ProgressCallback(this, &MainDialog::OnProgress));
    }
  }
  // One message puts the result in, brings the controls back and ends the
  // job, so that no click or close falls between those.
  job.HandBack(end);
  OnWorkerStep(kResultPut);
}

void MainDialog::OnPassReady(bool bSecond) {
  if (!bSecond) {
    OnWorkerStep(kHasherMade);
    EnableControls(false);
    OnWorkerStep(kControlsDisabled);
    m_reports.Reset();  // the first report of every job is shown
    TaskbarProgress::Report(m_hWnd, 0);
  } else {
    OnWorkerStep(kSecondPass);
    m_reports.Reset();
    OnProgress(0);
  }
}

BOOL MainDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  *pResult = 0;
  if (m_job.OnMessage(message, wParam, lParam, pResult) ||
      m_layout.OnMessage(message, wParam, lParam) || m_taskbar.OnMessage(m_hWnd, message, wParam))
    return TRUE;
  if ((message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) ||
      (message == WM_ACTIVATEAPP && wParam)) {
    m_expected.PickUpClipboard(false);
  }
  return CDialog::OnWndMsg(message, wParam, lParam, pResult);
}

void MainDialog::ShowJobNotice(const JobEnd& end) {
  m_taskbar.Clear();
  if (end.nNotice != 0)
    AfxMessageBox(end.nNotice);
  else
    ShowSystemError(end.outcome.dwError);
}

void MainDialog::ApplyJobEnd(const JobEnd& end) {
  m_taskbar.Clear();
  const EntrySearch& search = end.outcome.search;
  // A failed or stopped job never leaves part of a file on the bar.
  if (search.strResult.empty()) m_progress.SetPos(0);
  if (end.outcome.bRan) EnableControls(true);
  SetDlgItemText(IDC_START, "Start");
  ShowSearch(search, end.strExpected);
  SetDlgItemText(IDC_RESULT, search.strResult.c_str());
}

void MainDialog::SelectFoundEntry(UINT nAlgorithm) {
  // The key and HMAC rule of a choice by hand, without clearing anything:
  // with HMAC checked every candidate offers it, and unchecked the key is
  // already empty.
  m_algorithms.SetCurSel((int)nAlgorithm);
  const BOOL bKeyed = OffersHmac(nAlgorithm) ? TRUE : FALSE;
  ::EnableWindow(GetDlgItem(IDC_KEY), bKeyed);
  ::EnableWindow(GetDlgItem(IDC_HMAC), bKeyed);
}
