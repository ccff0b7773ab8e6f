#include "ui/MainDialog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/ProgressCallback.h"
#include "fileio/LongPath.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/AboutDialog.h"

namespace {

// The words of the verdict carry it; the colours only repeat it.
const COLORREF kMatchColour = RGB(0, 100, 0);    // dark green
const COLORREF kNoMatchColour = RGB(139, 0, 0);  // dark red

// The input controls that a file job disables, in the order they change.
const int kJobControls[] = {IDC_ALGORITHM, IDC_STRING, IDC_FILE, IDC_DATA,     IDC_BROWSE,
                            IDC_KEY,       IDC_RESULT, IDC_COPY, IDC_UPPERCASE};

std::string LoadText(UINT nID) {
  char szText[512] = {};
  ::LoadStringA(AfxGetResourceHandle(), nID, szText, sizeof(szText));
  return szText;
}

// Dismisses a notice that a worker shows while the dialog is closing.
BOOL CALLBACK DismissNotice(HWND hWnd, LPARAM) {
  char szClass[16] = {};
  ::GetClassNameA(hWnd, szClass, sizeof(szClass));
  if (std::strcmp(szClass, "#32770") == 0) ::PostMessageA(hWnd, WM_COMMAND, IDOK, 0);
  return TRUE;
}

class HasherLock {
 public:
  explicit HasherLock(CRITICAL_SECTION& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs); }
  ~HasherLock() { ::LeaveCriticalSection(&m_cs); }
  HasherLock(const HasherLock&) = delete;
  HasherLock& operator=(const HasherLock&) = delete;

 private:
  CRITICAL_SECTION& m_cs;
};

}  // namespace

MainDialog::MainDialog()
    : CDialog(IDD_MAIN, nullptr),
      m_hIcon(::LoadIconA(AfxGetInstanceHandle(), MAKEINTRESOURCEA(IDR_MAINFRAME))) {
  ::InitializeCriticalSection(&m_csHasher);
}

MainDialog::~MainDialog() {
  EndJobThread();  // normally done when the window went away
  delete m_pHasher.exchange(nullptr);
  ::DeleteCriticalSection(&m_csHasher);
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
  DDX_Control(pDX, IDC_VERDICT, m_verdict);
}

BOOL MainDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcons(IDR_MAINFRAME);
  m_bRunning = FALSE;
  m_pHasher = nullptr;
  for (UINT n = 0; n < kAlgorithmCount; ++n) m_algorithms.AddString(CatalogueEntryAt(n)->pszName);
  m_algorithms.SetCurSel(0);
  if (m_verdictTip.Create(this)) m_verdictTip.AddTool(&m_verdict, "");
  // Both fields take any length memory allows: a cut text would give the
  // digest of the cut text as the digest of the whole.
  SendDlgItemMessage(IDC_DATA, EM_SETLIMITTEXT, 0, 0);
  SendDlgItemMessage(IDC_KEY, EM_SETLIMITTEXT, 0, 0);
  SetDataType(true);
  CheckDlgButton(IDC_STRING, BST_CHECKED);
  ::EnableWindow(GetDlgItem(IDC_KEY), FALSE);
  ::EnableWindow(GetDlgItem(IDC_HMAC), FALSE);
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
  if (nID == SC_CLOSE && m_bRunning && !ConfirmQuit()) return;
  CDialog::OnSysCommand(nID, lParam);
}

void MainDialog::OnOK() {
  if (m_bRunning && !ConfirmQuit()) return;
  CDialog::OnOK();
}

void MainDialog::OnDestroy() {
  // The worker must be gone before the dialog, its controls and its Hasher.
  EndJobThread();
  m_taskbar.Detach();
  CDialog::OnDestroy();
}

void MainDialog::OnPaint() {
  if (!IsIconic()) {
    CDialog::OnPaint();
    return;
  }
  PAINTSTRUCT ps;
  HDC hDC = ::BeginPaint(m_hWnd, &ps);
  SendMessage(WM_ICONERASEBKGND, (WPARAM)hDC, 0);
  RECT rc;
  GetClientRect(&rc);
  const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
  ::DrawIcon(hDC, x, y, m_hIcon);
  ::EndPaint(m_hWnd, &ps);
}

HCURSOR MainDialog::OnQueryDragIcon() { return (HCURSOR)m_hIcon; }

void MainDialog::OnDropFiles(HDROP hDropInfo) {
  // Only File mode accepts drops; a drop message that comes anyway changes
  // nothing.
  const bool bAccepting = (::GetWindowLongA(m_hWnd, GWL_EXSTYLE) & WS_EX_ACCEPTFILES) != 0;
  if (bAccepting && ::DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0) != 0) {
    // Sized by the path's own length, so that no path is cut at MAX_PATH.
    const UINT nLength = ::DragQueryFileA(hDropInfo, 0, nullptr, 0);
    std::vector<char> path(nLength + 1, '\0');
    ::DragQueryFileA(hDropInfo, 0, path.data(), nLength + 1);
    const DWORD dwAttributes = GetFileAttributesAnyLength(path.data());
    if ((dwAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) SetDlgItemText(IDC_DATA, path.data());
  }
  CDialog::OnDropFiles(hDropInfo);
  ::DragFinish(hDropInfo);
}

void MainDialog::OnBnClickedString() {
  SetDataType(true);
  ::SetFocus(GetDlgItem(IDC_DATA));
}

void MainDialog::OnBnClickedFile() { SetDataType(false); }

void MainDialog::OnCbnSelchangeAlgorithm() {
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
  if (!paths.empty()) SetDlgItemText(IDC_DATA, paths.front().c_str());
}

void MainDialog::OnBnClickedCopy() {
  HWND hResult = GetDlgItem(IDC_RESULT);
  const int nLength = ::GetWindowTextLengthA(hResult);
  if (nLength == 0) return;
  const std::string strText = ReadControlText(hResult);
  if (!OpenClipboard()) return;
  ::EmptyClipboard();
  // Without memory the copy is abandoned quietly, like a busy clipboard.
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, nLength + 1);
  void* pMem = hMem != nullptr ? ::GlobalLock(hMem) : nullptr;
  if (pMem == nullptr) {
    if (hMem != nullptr) ::GlobalFree(hMem);
    ::CloseClipboard();
    return;
  }
  std::memcpy(pMem, strText.c_str(), strText.size() + 1);
  ::GlobalUnlock(hMem);
  if (::SetClipboardData(CF_TEXT, hMem) == nullptr) ::GlobalFree(hMem);
  ::CloseClipboard();
  AfxMessageBox("The result copied to clipboard successed!");
}

void MainDialog::OnBnClickedUppercase() {
  std::string strText = ReadControlText(GetDlgItem(IDC_RESULT));
  if (strText.empty()) return;
  std::vector<char> buffer(strText.begin(), strText.end());
  buffer.push_back('\0');
  if (IsDlgButtonChecked(IDC_UPPERCASE))
    ::CharUpperA(buffer.data());
  else
    ::CharLowerA(buffer.data());
  SetDlgItemText(IDC_RESULT, buffer.data());
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

void MainDialog::OnEnChangeExpected() { UpdateVerdict(); }

void MainDialog::UpdateVerdict() {
  const DigestComparison comparison =
      CompareWithExpected(ReadControlText(GetDlgItem(IDC_EXPECTED)),
                          ReadControlText(GetDlgItem(IDC_RESULT)), (UINT)m_algorithms.GetCurSel());
  m_nVerdict = comparison.verdict;
  SetDlgItemText(IDC_VERDICT, m_nVerdict == DigestVerdict::kMatch     ? "Match"
                              : m_nVerdict == DigestVerdict::kNoMatch ? "No match"
                                                                      : "");
  m_verdictTip.UpdateTipText(comparison.strHint.c_str(), &m_verdict);
}

HBRUSH MainDialog::OnCtlColor(HDC hDC, HWND hWnd, UINT nCtlColor) {
  const HBRUSH hBrush = CDialog::OnCtlColor(hDC, hWnd, nCtlColor);
  if (hWnd == m_verdict.m_hWnd && m_nVerdict != DigestVerdict::kNone)
    ::SetTextColor(hDC, m_nVerdict == DigestVerdict::kMatch ? kMatchColour : kNoMatchColour);
  return hBrush;
}

std::string MainDialog::ReadControlText(HWND hWnd) const {
  const int nLength = ::GetWindowTextLengthA(hWnd);
  std::vector<char> buffer(nLength + 1, '\0');
  ::GetWindowTextA(hWnd, buffer.data(), nLength + 1);
  return std::string(buffer.data());
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
  std::string strResult;
  {
    HasherLock lock(m_csHasher);
    Hasher* pHasher = new Hasher(nAlgorithm);
    m_pHasher = pHasher;
    strResult = pHasher->HashString(strData, strKey, nHmac, nUpper);
    m_pHasher = nullptr;
    delete pHasher;
  }
  SetDlgItemText(IDC_RESULT, strResult.c_str());
}

void* MainDialog::BindWorker() {
  return m_thunk.BindFirstArgument(this, &MainDialog::HashFileThread);
}

HANDLE MainDialog::CreateWorker(void* pfnStart, DWORD* pdwThreadId) {
  return ::CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(pfnStart), nullptr, 0,
                        pdwThreadId);
}

void MainDialog::OnBnClickedStart() {
  SetDlgItemText(IDC_RESULT, "");
  if (ReadControlText(GetDlgItem(IDC_START)) == "Stop") {
    if (MessageBox(LoadText(IDS_STOP_WHILE_RUNNING).c_str(), "Warning",
                   MB_YESNO | MB_ICONWARNING) == IDYES) {
      HasherLock lock(m_csHasher);
      if (Hasher* pHasher = m_pHasher) pHasher->m_bStop = 1;
    }
    return;
  }
  // One job at a time: one that is still starting up, or showing its
  // notice, counts. Once it has put its result in, a click starts a job.
  if (m_bRunning) return;
  void* pfnStart = BindWorker();
  if (pfnStart == nullptr) return;
  m_bRunning = TRUE;
  DWORD dwThreadId = 0;
  OwnedHandle thread(CreateWorker(pfnStart, &dwThreadId));
  if (!thread) {
    m_bRunning = FALSE;
    return;
  }
  // The previous worker has ended its job; it may not have returned yet.
  m_endingThreads.erase(std::remove_if(m_endingThreads.begin(), m_endingThreads.end(),
                                       [](const OwnedHandle& h) {
                                         return ::WaitForSingleObject(h.Get(), 0) != WAIT_TIMEOUT;
                                       }),
                        m_endingThreads.end());
  if (m_thread) m_endingThreads.push_back(std::move(m_thread));
  m_thread = std::move(thread);
  m_dwThreadId = dwThreadId;
}

void MainDialog::EndJobThread() {
  // Workers of ended jobs send nothing more: they only return.
  for (const OwnedHandle& h : m_endingThreads) ::WaitForSingleObject(h.Get(), INFINITE);
  m_endingThreads.clear();
  if (!m_thread) return;
  m_bClosing = TRUE;
  for (;;) {
    {
      // Repeated, since HashFile clears the flag when it begins.
      HasherLock lock(m_csHasher);
      if (Hasher* pHasher = m_pHasher) pHasher->m_bStop = 1;
    }
    // The worker waits in messages it sends to this thread: serve them.
    const DWORD dwWait =
        ::MsgWaitForMultipleObjects(1, m_thread.Address(), FALSE, 100, QS_SENDMESSAGE);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_FAILED) break;
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    ::EnumThreadWindows(m_dwThreadId, &DismissNotice, 0);
  }
  m_thread.Reset();
}

void MainDialog::OnProgress(int nPercent) {
  // A report comes once per chunk, but the bar only moves per percent, so
  // repeats are not sent. The bar repaints inside PBM_SETPOS; waiting for
  // that on every percent would cost a fast file job a tenth of its time,
  // so the worker does not wait. A notify message still joins the queue of
  // messages this thread sends, so it is handled before every later send
  // of the job (the final position, the re-enabled controls, the result).
  if (nPercent == m_nLastReport) return;
  m_nLastReport = nPercent;
  ::SendNotifyMessageA(m_progress.m_hWnd, PBM_SETPOS, (WPARAM)nPercent, 0);
  ReportToTaskbar((WPARAM)nPercent);
  OnWorkerStep(kReported);
}

void MainDialog::ShowSystemError(DWORD dwError) {
  LPSTR pszMessage = nullptr;
  const DWORD dwLength = ::FormatMessageA(
      FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_ALLOCATE_BUFFER,
      nullptr, dwError, 0, reinterpret_cast<LPSTR>(&pszMessage), 0, nullptr);
  if (dwLength != 0 && pszMessage != nullptr) {
    AfxMessageBox(pszMessage);
  } else {
    // The system has no text for this code: name the code itself.
    char szFallback[64];
    std::snprintf(szFallback, sizeof(szFallback), "Error %lu (0x%08lX).", dwError, dwError);
    AfxMessageBox(szFallback);
  }
  if (pszMessage != nullptr) ::LocalFree(pszMessage);
}

DWORD __stdcall MainDialog::HashFileThread(LPVOID) {
  JobEnd end;
  RunFileJob(end);
  // One message puts the result in, brings the controls back and ends the
  // job, so that no click or close falls between those.
  SendMessage(WM_JOB_ENDED, 0, reinterpret_cast<LPARAM>(&end));
  OnWorkerStep(kResultPut);
  return 1;
}

void MainDialog::RunFileJob(JobEnd& end) {
  const std::string strPath = ReadControlText(GetDlgItem(IDC_DATA));
  OnWorkerStep(kPathRead);
  if (strPath.empty()) {
    if (!m_bClosing) AfxMessageBox(IDS_NO_FILE_NAME);
    return;
  }
  SetDlgItemText(IDC_START, "Stop");
  OnWorkerStep(kStopShown);
  const UINT nAlgorithm = (UINT)m_algorithms.GetCurSel();
  {
    HasherLock lock(m_csHasher);
    delete m_pHasher.exchange(nullptr);
  }
  const int nHmac = IsDlgButtonChecked(IDC_HMAC);
  const int nUpper = IsDlgButtonChecked(IDC_UPPERCASE);
  const std::string strKey = ReadControlText(GetDlgItem(IDC_KEY));
  if (nHmac && strKey.empty()) return;
  std::unique_ptr<Hasher> hasher(new Hasher(nAlgorithm));
  {
    HasherLock lock(m_csHasher);
    m_pHasher = hasher.get();
  }
  OnWorkerStep(kHasherMade);
  EnableControls(false);
  end.bControlsDisabled = true;
  OnWorkerStep(kControlsDisabled);
  m_nLastReport = -1;  // the first report of every job is shown
  ReportToTaskbar(0);

  end.strResult = hasher->HashFile(strPath.c_str(), strKey, nHmac, nUpper,
                                   ProgressCallback(this, &MainDialog::OnProgress));
  const bool bStopped = hasher->m_bStop != 0;
  if (end.strResult.empty() && !bStopped && !m_bClosing) {
    ReportToTaskbar(kTaskbarClear);  // the failure's notice shows no progress
    ShowSystemError(hasher->ErrorCode());
  }
  HasherLock lock(m_csHasher);
  m_pHasher = nullptr;
}

// Worker thread: queued behind the bar's move, ahead of the job's end.
void MainDialog::ReportToTaskbar(WPARAM wPercent) {
  ::SendNotifyMessageA(m_hWnd, WM_JOB_TASKBAR, wPercent, 0);
}

BOOL MainDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (message == WM_JOB_ENDED) {
    OnJobEnded(*reinterpret_cast<const JobEnd*>(lParam));
    *pResult = 0;
    return TRUE;
  }
  if (message == WM_JOB_TASKBAR) {
    if (wParam == kTaskbarClear)
      m_taskbar.Clear();
    else
      m_taskbar.Show(static_cast<int>(wParam));
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

void MainDialog::OnJobEnded(const JobEnd& end) {
  m_taskbar.Clear();
  // A failed or stopped job never leaves part of a file on the bar.
  if (end.strResult.empty()) m_progress.SetPos(0);
  if (end.bControlsDisabled) EnableControls(true);
  m_bRunning = FALSE;
  SetDlgItemText(IDC_START, "Start");
  SetDlgItemText(IDC_RESULT, end.strResult.c_str());
}
