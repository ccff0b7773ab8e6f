#include "ui/MainDialog.h"

#include <commctrl.h>

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

// Expected takes a whole checksum file; the clipboard's text is taken only
// up to a smaller size, since nobody asked for it.
const int kExpectedLimit = 1048576;
const size_t kClipboardLimit = 65536;

// The clipboard's text: its Unicode form where there is one, so that no
// character is lost to a code page; empty when it holds none or more than
// nLimit bytes of it.
std::string ClipboardText(HWND hOwner, size_t nLimit) {
  std::string text;
  if (!::OpenClipboard(hOwner)) return text;
  if (HANDLE hWide = ::GetClipboardData(CF_UNICODETEXT)) {
    const SIZE_T nUnits = ::GlobalSize(hWide) / sizeof(wchar_t);
    if (const wchar_t* p = static_cast<const wchar_t*>(::GlobalLock(hWide))) {
      // Each unit takes at most three bytes: far beyond the limit, skip it.
      if (nUnits <= 3 * nLimit) text = NarrowFromWide(p, (int)wcsnlen(p, nUnits));
      ::GlobalUnlock(hWide);
    }
  } else if (HANDLE hText = ::GetClipboardData(CF_TEXT)) {
    const SIZE_T nBytes = ::GlobalSize(hText);
    if (const char* p = static_cast<const char*>(::GlobalLock(hText))) {
      text.assign(p, strnlen(p, nBytes));
      ::GlobalUnlock(hText);
    }
  }
  ::CloseClipboard();
  if (text.size() > nLimit) text.clear();
  return text;
}

// Reads a dropped checksum file as Expected's text: UTF-16 with its byte
// order mark becomes the program's bytes; other text is taken as it is.
enum class ExpectedFile { kRead, kTooLarge, kNotText, kUnreadable };

ExpectedFile ReadExpectedFile(const std::string& path, std::string& text) {
  const HANDLE hFile = CreateFileAnyLength(path.c_str(), GENERIC_READ,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING, 0);
  if (hFile == INVALID_HANDLE_VALUE) return ExpectedFile::kUnreadable;
  OwnedHandle file(hFile);
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file.Get(), &size)) return ExpectedFile::kUnreadable;
  if (size.QuadPart > kExpectedLimit) return ExpectedFile::kTooLarge;
  std::string bytes((size_t)size.QuadPart, '\0');
  DWORD dwRead = 0;
  if (!bytes.empty() && !::ReadFile(file.Get(), &bytes[0], (DWORD)bytes.size(), &dwRead, nullptr))
    return ExpectedFile::kUnreadable;
  bytes.resize(dwRead);
  if (bytes.size() >= 2 && (BYTE)bytes[0] == 0xFF && (BYTE)bytes[1] == 0xFE) {
    std::wstring wide((bytes.size() - 2) / 2, L'\0');
    if (!wide.empty()) std::memcpy(&wide[0], bytes.data() + 2, wide.size() * sizeof(wchar_t));
    bytes = NarrowFromWide(wide.c_str(), (int)wide.size());
  }
  if (bytes.find('\0') != std::string::npos) return ExpectedFile::kNotText;
  text = bytes;
  return ExpectedFile::kRead;
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
  InitExpected();
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
  // Only the user's own choice comes here: a found entry is selected
  // without this notice.
  m_bHandChoice = true;
  m_search.bValid = false;
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
  // Our own result is never taken back into Expected as a published one.
  m_dwOwnCopy = ::GetClipboardSequenceNumber();
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

// A new Expected ends a choice made by hand; in String mode it searches
// the entries of its length at once.
void MainDialog::OnEnChangeExpected() {
  m_bHandChoice = false;
  m_strExpectedNote.clear();
  if (IsDlgButtonChecked(IDC_STRING)) UpdateStringDigest();
  UpdateVerdict();
}

void MainDialog::UpdateVerdict() {
  const std::string strExpected = ReadControlText(GetDlgItem(IDC_EXPECTED));
  const std::string strResult = ReadControlText(GetDlgItem(IDC_RESULT));
  const UINT nAlgorithm = (UINT)m_algorithms.GetCurSel();
  const bool bSearched = m_search.bValid && m_search.nEntry == nAlgorithm &&
                         m_search.strExpected == strExpected &&
                         _stricmp(m_search.strResult.c_str(), strResult.c_str()) == 0;
  const CheckVerdict verdict =
      bSearched ? m_search.verdict
                : JudgeResult(strExpected, CheckedFileName(), nAlgorithm, strResult);
  m_nVerdict = verdict.verdict;
  SetDlgItemText(IDC_VERDICT, m_nVerdict == DigestVerdict::kMatch     ? "Match"
                              : m_nVerdict == DigestVerdict::kNoMatch ? "No match"
                                                                      : "");
  std::string strNote = m_strExpectedNote;
  if (strNote.empty() && !strExpected.empty() && strExpected == m_strPickedUp)
    strNote = "Expected was taken from the clipboard.";
  std::string strTip = verdict.strTooltip;
  if (!strNote.empty()) strTip = strTip.empty() ? strNote : strNote + "\n" + strTip;
  m_verdictTip.UpdateTipText(strTip.c_str(), &m_verdict);
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
  // Unless the user chose the entry, every entry Expected's digest may be
  // from is computed at once (texts are short), and a match is shown.
  m_search.bValid = false;
  const std::string strExpected = ReadControlText(GetDlgItem(IDC_EXPECTED));
  const CheckPlan plan =
      m_bHandChoice ? CheckPlan() : PlanCheck(strExpected, "", nAlgorithm, nHmac != 0);
  if (plan.entries.size() > 1 || (plan.entries.size() == 1 && plan.entries[0] != nAlgorithm)) {
    const std::vector<std::string> results =
        Hasher::HashStringMany(strData, strKey, nHmac, nUpper, plan.entries);
    const CheckVerdict verdict = JudgeResults(strExpected, "", nAlgorithm, plan.entries, results);
    size_t nShown = 0;  // no match: the first pass's entry
    for (size_t i = 0; i < plan.entries.size(); ++i)
      if (plan.entries[i] == verdict.nMatched) nShown = i;
    m_search = {true, plan.entries[nShown], results[nShown], strExpected, verdict};
    if (plan.entries[nShown] != nAlgorithm) SelectFoundEntry(plan.entries[nShown]);
    strResult = results[nShown];
  } else {
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
  // A job whose last notice is up has done its work, though the caption
  // still reads "Stop" until the notice is closed: there is nothing to
  // stop. A click that comes after the notice's OK, while the notice is
  // going away, starts the next job as soon as this one has ended.
  if (m_bNoticeOpen) {
    if (::IsWindowEnabled(m_hWnd)) m_bStartWaiting = true;
    return;
  }
  SetDlgItemText(IDC_RESULT, "");
  if (ReadControlText(GetDlgItem(IDC_START)) == "Stop") {
    if (MessageBox(LoadText(IDS_STOP_WHILE_RUNNING).c_str(), "Warning",
                   MB_YESNO | MB_ICONWARNING) == IDYES) {
      HasherLock lock(m_csHasher);
      m_bStopAsked = true;
      if (Hasher* pHasher = m_pHasher) pHasher->m_bStop = 1;
    }
    return;
  }
  // One job at a time: one that is still starting up counts. Once it has
  // put its result in, a click starts a job.
  if (m_bRunning) return;
  void* pfnStart = BindWorker();
  if (pfnStart == nullptr) return;
  m_bRunning = TRUE;
  m_bStopAsked = false;
  m_search.bValid = false;
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
    end.nNotice = IDS_NO_FILE_NAME;
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
  // The entries to compute: the selected one, or, unless the user chose it,
  // those Expected's digest may be from, the first pass's first.
  const std::string strExpected = ReadControlText(GetDlgItem(IDC_EXPECTED));
  const std::string strName = LastPathComponent(strPath);
  std::vector<UINT> entries(1, nAlgorithm);
  if (!m_bHandChoice) {
    const CheckPlan plan = PlanCheck(strExpected, strName, nAlgorithm, nHmac != 0);
    if (!plan.entries.empty()) entries = plan.entries;
  }
  std::unique_ptr<Hasher> hasher(new Hasher(entries[0]));
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
  const bool bStopped = hasher->m_bStop != 0 || m_bStopAsked;
  if (end.strResult.empty() && !bStopped) {
    end.bFailed = true;
    end.dwError = hasher->ErrorCode();
  }
  if (!end.strResult.empty()) end.nEntry = entries[0];
  if (entries.size() > 1 || entries[0] != nAlgorithm) {
    std::vector<std::string> results(entries.size());
    results[0] = end.strResult;
    if (!end.strResult.empty() && !bStopped && !m_bClosing && entries.size() > 1 &&
        JudgeResult(strExpected, strName, entries[0], end.strResult).verdict !=
            DigestVerdict::kMatch) {
      RunSecondPass(end, strPath, strKey, nHmac, nUpper, entries, results);
      if (end.strResult.empty()) end.nEntry = kAlgorithmCount;
    }
    if (!end.strResult.empty()) {
      end.bSearched = true;
      end.strExpected = strExpected;
      end.verdict = JudgeResults(strExpected, strName, nAlgorithm, entries, results);
      for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i] == end.verdict.nMatched) {
          end.nEntry = entries[i];
          end.strResult = results[i];
        }
      }
    }
  }
  HasherLock lock(m_csHasher);
  m_pHasher = nullptr;
}

// The other candidates, each on a thread of its own, from one more read of
// the file; Stop, closing and a failure end it as they end a one-entry job.
void MainDialog::RunSecondPass(JobEnd& end, const std::string& strPath, const std::string& strKey,
                               int nHmac, int nUpper, const std::vector<UINT>& entries,
                               std::vector<std::string>& results) {
  const std::vector<UINT> others(entries.begin() + 1, entries.end());
  std::unique_ptr<Hasher> hasher(new Hasher(others.front()));
  {
    // A Stop that came between the passes ends the job here.
    HasherLock lock(m_csHasher);
    if (m_bStopAsked || m_bClosing) {
      end.strResult.clear();
      return;
    }
    m_pHasher = hasher.get();
  }
  OnWorkerStep(kSecondPass);
  m_nLastReport = -1;
  OnProgress(0);
  const std::vector<std::string> found =
      hasher->HashFileMany(strPath.c_str(), strKey, nHmac, nUpper, others,
                           ProgressCallback(this, &MainDialog::OnProgress));
  const bool bStopped = hasher->m_bStop != 0 || m_bStopAsked;
  {
    HasherLock lock(m_csHasher);
    m_pHasher = nullptr;
  }
  if (bStopped || found.front().empty()) {
    end.strResult.clear();
    if (!bStopped) {
      end.bFailed = true;
      end.dwError = hasher->ErrorCode();
    }
    return;
  }
  std::copy(found.begin(), found.end(), results.begin() + 1);
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
  if (OnLayoutMessage(message, wParam, lParam)) {
    *pResult = 0;
    return TRUE;
  }
  if ((message == WM_ACTIVATE && LOWORD(wParam) != WA_INACTIVE) ||
      (message == WM_ACTIVATEAPP && wParam)) {
    PickUpClipboard(false);
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

BOOL MainDialog::OnLayoutMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_GETMINMAXINFO:
      m_layout.OnGetMinMaxInfo(reinterpret_cast<MINMAXINFO*>(lParam));
      return TRUE;
    case WM_SIZE:
      m_layout.OnSize((UINT)wParam, LOWORD(lParam));
      return FALSE;
    case WM_DPICHANGED:  // then the icons, and the dialog manager's fonts
      m_layout.OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return FALSE;
    default:
      return FALSE;
  }
}

void MainDialog::OnJobEnded(const JobEnd& end) {
  m_taskbar.Clear();
  // The notice is shown here, on this thread, so that the job ends the moment
  // it is closed: a click sent right after its OK finds no job.
  if (!m_bClosing && (end.nNotice != 0 || end.bFailed)) {
    m_bNoticeOpen = true;
    if (end.nNotice != 0)
      AfxMessageBox(end.nNotice);
    else
      ShowSystemError(end.dwError);
    m_bNoticeOpen = false;
  }
  // A failed or stopped job never leaves part of a file on the bar.
  if (end.strResult.empty()) m_progress.SetPos(0);
  if (end.bControlsDisabled) EnableControls(true);
  m_bRunning = FALSE;
  SetDlgItemText(IDC_START, "Start");
  // The list shows the entry whose result is shown, found or not.
  if (end.nEntry != kAlgorithmCount && end.nEntry != (UINT)m_algorithms.GetCurSel())
    SelectFoundEntry(end.nEntry);
  if (end.bSearched) m_search = {true, end.nEntry, end.strResult, end.strExpected, end.verdict};
  SetDlgItemText(IDC_RESULT, end.strResult.c_str());
  if (m_bStartWaiting) {
    m_bStartWaiting = false;
    if (!m_bClosing) OnBnClickedStart();
  }
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

std::string MainDialog::CheckedFileName() const {
  if (!IsDlgButtonChecked(IDC_FILE)) return std::string();
  return LastPathComponent(ReadControlText(GetDlgItem(IDC_DATA)));
}

void MainDialog::InitExpected() {
  HWND hExpected = GetDlgItem(IDC_EXPECTED);
  ::SendMessageA(hExpected, EM_SETLIMITTEXT, kExpectedLimit, 0);
  // Dropped checksum files land on the field in both modes.
  ::SetWindowSubclass(hExpected, &MainDialog::ExpectedProc, 0, reinterpret_cast<DWORD_PTR>(this));
  ::DragAcceptFiles(hExpected, TRUE);
  // A tooltip breaks its lines only when it has a width to keep to.
  m_verdictTip.SendMessage(TTM_SETMAXTIPWIDTH, 0, 640);
  if (!m_strStartPath.empty()) {
    CheckDlgButton(IDC_STRING, BST_UNCHECKED);
    CheckDlgButton(IDC_FILE, BST_CHECKED);
    SetDataType(false);
    SetDlgItemText(IDC_DATA, m_strStartPath.c_str());
  }
  // Opened on a file with a published digest at hand, the check runs at
  // once; the click comes once the window is up.
  if (PickUpClipboard(true) && !m_strStartPath.empty())
    ::PostMessageA(m_hWnd, WM_COMMAND, MAKEWPARAM(IDC_START, BN_CLICKED),
                   (LPARAM)GetDlgItem(IDC_START));
}

bool MainDialog::PickUpClipboard(bool bOpening) {
  const DWORD dwSequence = ::GetClipboardSequenceNumber();
  if (!bOpening && dwSequence == m_dwClipboardSeen) return false;
  m_dwClipboardSeen = dwSequence;
  if (m_dwOwnCopy != 0 && dwSequence == m_dwOwnCopy) return false;
  // Never over what the user typed, pasted or dropped.
  const std::string strCurrent = ReadControlText(GetDlgItem(IDC_EXPECTED));
  if (!strCurrent.empty() && strCurrent != m_strPickedUp) return false;
  const std::string strText = ClipboardText(m_hWnd, kClipboardLimit);
  if (strText.empty() || !IsPublishedDigest(strText)) return false;
  m_strPickedUp = strText;
  SetDlgItemText(IDC_EXPECTED, strText.c_str());
  m_strPickedUp = ReadControlText(GetDlgItem(IDC_EXPECTED));  // as the field keeps it
  UpdateVerdict();
  return true;
}

LRESULT CALLBACK MainDialog::ExpectedProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam,
                                          UINT_PTR, DWORD_PTR dwRefData) {
  if (message == WM_DROPFILES) {
    reinterpret_cast<MainDialog*>(dwRefData)->OnExpectedDrop(reinterpret_cast<HDROP>(wParam));
    return 0;
  }
  const LRESULT lResult = ::DefSubclassProc(hWnd, message, wParam, lParam);
  // A multi-line edit, unlike a single-line one, says nothing when its text
  // is set; the verdict follows every text, so the field says it here.
  if (message == WM_SETTEXT && lResult) {
    ::SendMessageA(::GetParent(hWnd), WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(hWnd), EN_CHANGE),
                   (LPARAM)hWnd);
  }
  return lResult;
}

// A file dropped on Expected gives its text, as if pasted: a checksum file.
void MainDialog::OnExpectedDrop(HDROP hDropInfo) {
  std::string strPath;
  if (::DragQueryFileA(hDropInfo, 0xFFFFFFFF, nullptr, 0) != 0) {
    const UINT nLength = ::DragQueryFileA(hDropInfo, 0, nullptr, 0);
    std::vector<char> path(nLength + 1, '\0');
    ::DragQueryFileA(hDropInfo, 0, path.data(), nLength + 1);
    strPath = path.data();
  }
  ::DragFinish(hDropInfo);
  if (strPath.empty()) return;
  const std::string strName = LastPathComponent(strPath);
  std::string strText;
  const ExpectedFile nRead = ReadExpectedFile(strPath, strText);
  if (nRead == ExpectedFile::kRead) {
    SetDlgItemText(IDC_EXPECTED, strText.c_str());
    return;
  }
  m_strExpectedNote =
      strName + (nRead == ExpectedFile::kTooLarge  ? " was not taken: it is over 1 MiB."
                 : nRead == ExpectedFile::kNotText ? " was not taken: it is not text."
                                                   : " was not taken: it cannot be read.");
  UpdateVerdict();
}
