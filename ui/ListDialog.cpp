#include "ui/ListDialog.h"

#include <commctrl.h>

#include <cstring>

#include "engine/ExpectedText.h"
#include "engine/RowEdits.h"
#include "fileio/LongPath.h"
#include "framework/MessageBox.h"
#include "framework/WinApp.h"
#include "res/resource.h"
#include "ui/SavePicker.h"

namespace {

// How the controls follow the window's width: the list, the summary and
// the bar widen, the buttons keep to the right edge.
const AnchorRule kLayout[] = {
    {IDC_LIST_ROWS, Anchor::kGrow},     {IDC_LIST_SUMMARY, Anchor::kGrow},
    {IDC_LIST_PROGRESS, Anchor::kGrow}, {IDC_LIST_UNLISTED, Anchor::kGrow},
    {IDC_LIST_COPY, Anchor::kMove},     {IDC_LIST_SAVE, Anchor::kMove},
    {IDC_LIST_STOP, Anchor::kMove},
};

const int kBarScale = 1000;
// The timer's period: a few looks a second follow a run closely enough.
const UINT kRefreshMs = 100;

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

// Puts text on the clipboard in UTF-16, so names of every script arrive
// whole; false when the clipboard could not be had.
bool PutTextOnClipboard(HWND hOwner, const std::string& text) {
  const int nUnits = ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  if (!::OpenClipboard(hOwner)) return false;
  ::EmptyClipboard();
  HGLOBAL hMem = ::GlobalAlloc(GMEM_MOVEABLE, ((SIZE_T)nUnits + 1) * sizeof(wchar_t));
  wchar_t* p = hMem != nullptr ? static_cast<wchar_t*>(::GlobalLock(hMem)) : nullptr;
  bool bDone = false;
  if (p != nullptr) {
    if (nUnits > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), p, nUnits);
    p[nUnits] = L'\0';
    ::GlobalUnlock(hMem);
    bDone = ::SetClipboardData(CF_UNICODETEXT, hMem) != nullptr;
  }
  if (!bDone && hMem != nullptr) ::GlobalFree(hMem);
  ::CloseClipboard();
  return bDone;
}

}  // namespace

size_t SharedRowsSource::RowCount() const {
  CriticalSection::Hold hold(m_shared.lock);
  return m_shared.set.rows.size();
}

std::string SharedRowsSource::CellText(size_t nRow, int nColumn) const {
  CriticalSection::Hold hold(m_shared.lock);
  if (nRow >= m_shared.set.rows.size()) return std::string();
  const FileRow& row = m_shared.set.rows[nRow];
  switch (nColumn) {
    case 0:
      return row.strName;
    case 1:
      return AlgorithmText(row);
    case 2:
      return row.strDigest;
    default:
      return ResultText(row.result);
  }
}

std::string SharedRowsSource::RowTip(size_t nRow) const {
  CriticalSection::Hold hold(m_shared.lock);
  return nRow < m_shared.set.rows.size() ? RowTooltip(m_shared.set.rows[nRow]) : std::string();
}

ListRowSource::Tone SharedRowsSource::RowTone(size_t nRow) const {
  CriticalSection::Hold hold(m_shared.lock);
  if (nRow >= m_shared.set.rows.size()) return Tone::kPlain;
  switch (ToneOf(m_shared.set.rows[nRow].result)) {
    case RowTone::kGood:
      return Tone::kGood;
    case RowTone::kBad:
      return Tone::kBad;
    default:
      return Tone::kPlain;
  }
}

ListDialog::ListDialog() : CDialog(IDD_LIST, nullptr) {}

ListDialog::~ListDialog() { m_job.Close(); }

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
  if (IsVerifying() || paths.empty()) return;
  if (m_strCaptionPath.empty()) m_strCaptionPath = paths.front();
  m_pendingPaths.insert(m_pendingPaths.end(), paths.begin(), paths.end());
  if (m_hWnd == nullptr) return;
  SetCaptionFrom(m_strCaptionPath);
  ContinueWork();
}

bool ListDialog::IsVerifying() const { return !m_strChecksumFile.empty(); }

BOOL ListDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetDialogIcons(IDR_MAINFRAME);
  ::SendMessageA(GetDlgItem(IDC_LIST_PROGRESS), PBM_SETRANGE32, 0, kBarScale);
  // Plain digests only: a checksum file holds no keyed ones.
  for (UINT n = 0; n < kAlgorithmCount; ++n)
    ::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_ADDSTRING, 0,
                   (LPARAM)CatalogueEntryAt(n)->pszName);
  ::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_SETCURSEL, kAlgorithmSHA256, 0);
  m_nEntryHashed = kAlgorithmSHA256;
  // Verifying, each line's tag, name or digit count gives its entry: the
  // list shows the set's entry and takes no choice.
  ::EnableWindow(GetDlgItem(IDC_LIST_ALGORITHM), IsVerifying() ? FALSE : TRUE);
  ::ShowWindow(GetDlgItem(IDC_LIST_UNLISTED), IsVerifying() ? SW_SHOW : SW_HIDE);
  m_view.Attach(GetDlgItem(IDC_LIST_ROWS), &m_source);
  m_view.FitDigestColumn();
  SetCaptionFrom(IsVerifying() ? m_strChecksumFile : m_strCaptionPath);
  m_layout.Capture(m_hWnd, kLayout, sizeof(kLayout) / sizeof(kLayout[0]));
  Refresh();
  // The work starts once the window is up.
  ::PostMessageA(m_hWnd, WM_LIST_START, 0, 0);
  return TRUE;
}

void ListDialog::SetCaptionFrom(const std::string& path) {
  const std::string caption = LoadText(IDS_APP_TITLE) + " - " + ShownName(path);
  SetWindowText(caption.c_str());
}

UINT ListDialog::SelectedEntry() const {
  return (UINT)::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_GETCURSEL, 0, 0);
}

void ListDialog::ContinueWork() {
  if (m_bClosing || m_job.IsRunning()) return;
  const bool bUnlisted = IsDlgButtonChecked(IDC_LIST_UNLISTED) == BST_CHECKED;
  if (IsVerifying()) {
    if (!bUnlisted && m_bUnlistedAdded) {
      CriticalSection::Hold hold(m_shared.lock);
      DropUnlistedRows(&m_shared.set);
      m_shared.counts = CountRows(m_shared.set.rows);
      m_bUnlistedAdded = false;
    }
    if (!m_bPlanRead || (bUnlisted && !m_bUnlistedAdded)) StartJob();
    Refresh();
    return;
  }
  const UINT nEntry = SelectedEntry();
  if (nEntry != m_nEntryHashed) {
    CriticalSection::Hold hold(m_shared.lock);
    ResetRowsForEntry(&m_shared.set, nEntry);
    m_shared.counts = CountRows(m_shared.set.rows);
    m_nEntryHashed = nEntry;
    StartJob();
  } else if (!m_pendingPaths.empty()) {
    StartJob();
  }
  Refresh();
}

void ListDialog::StartJob() {
  m_order.paths = std::move(m_pendingPaths);
  m_pendingPaths.clear();
  m_order.nEntry = m_nEntryHashed;
  m_order.bUnlisted = IsDlgButtonChecked(IDC_LIST_UNLISTED) == BST_CHECKED;
  if (!m_job.Start(m_hWnd)) {
    // No thread: the paths wait for the next try.
    m_pendingPaths = std::move(m_order.paths);
    return;
  }
  m_bStopped = false;
  SetDlgItemText(IDC_LIST_STOP, "Stop");
  ::EnableWindow(GetDlgItem(IDC_LIST_SAVE), FALSE);
  ::SetTimer(m_hWnd, kRefreshTimer, kRefreshMs, nullptr);
}

void ListDialog::OnJobEnded(bool bStopped) {
  ::KillTimer(m_hWnd, kRefreshTimer);
  m_bStopped = bStopped;
  SetDlgItemText(IDC_LIST_STOP, "Close");
  ::EnableWindow(GetDlgItem(IDC_LIST_SAVE), TRUE);
  m_taskbar.Clear();
  if (IsVerifying()) ShowEntryOfSet();
  Refresh();
  // A choice or paths that came during the run: the next job, once this
  // one has ended (the job counts as ended when Apply returns). A Stop of
  // the user's own ends the work, unless paths wait.
  const bool bGoOn = !bStopped || m_bRestartWanted || !m_pendingPaths.empty();
  m_bRestartWanted = false;
  if (!m_bClosing && bGoOn) ::PostMessageA(m_hWnd, WM_LIST_START, 0, 0);
}

void ListDialog::ShowEntryOfSet() {
  UINT nEntry = kAlgorithmCount;
  {
    CriticalSection::Hold hold(m_shared.lock);
    nEntry = CommonEntry(m_shared.set);
  }
  ::SendMessageA(GetDlgItem(IDC_LIST_ALGORITHM), CB_SETCURSEL,
                 nEntry == kAlgorithmCount ? (WPARAM)-1 : nEntry, 0);
}

void ListDialog::Refresh() {
  RunFigures figures;
  size_t nRows = 0;
  int nPosition = 0;
  RowCounts counts;
  {
    CriticalSection::Hold hold(m_shared.lock);
    nRows = m_shared.set.rows.size();
    counts = m_shared.counts;
    figures.bRunning = m_shared.bRunning;
    if (m_shared.bRunning) {
      const FileSetProgress& p = m_shared.progress;
      if (p.dwElapsedMs >= 1000 && p.qwDone != 0) {
        figures.qwBytesPerSecond = (ULONGLONG)(p.MiBPerSecond() * 1048576.0);
        if (m_shared.bSizesKnown) figures.qwSecondsLeft = p.SecondsLeft();
      }
      nPosition = RowRun::Position(m_shared, kBarScale);
    } else if (m_shared.nTasks != 0 || m_shared.progress.qwTotal != 0) {
      nPosition = RowRun::Position(m_shared, kBarScale);
    }
  }
  figures.bStopped = m_bStopped;
  counts.nRows = nRows;
  if (nRows != m_nShownRows) {
    m_view.SetRowCount(nRows);
    m_nShownRows = nRows;
  }
  m_view.RedrawVisible();
  const std::string summary = SummaryText(counts, figures);
  if (summary != m_strSummary) {
    m_strSummary = summary;
    SetDlgItemText(IDC_LIST_SUMMARY, summary.c_str());
  }
  ::SendMessageA(GetDlgItem(IDC_LIST_PROGRESS), PBM_SETPOS, (WPARAM)nPosition, 0);
  if (m_job.IsRunning())
    m_taskbar.Show(nPosition * 100 / kBarScale);
  else
    m_taskbar.Clear();
}

BOOL ListDialog::ConfirmQuit() {
  return MessageBox(LoadText(IDS_QUIT_WHILE_RUNNING).c_str(), "Warning",
                    MB_YESNO | MB_ICONWARNING) == IDYES;
}

void ListDialog::CloseWindow() {
  if (m_job.IsRunning() && !ConfirmQuit()) return;
  m_bClosing = true;
  EndDialog(IDOK);
}

void ListDialog::OnSysCommand(UINT nID, LPARAM lParam) {
  if ((nID & 0xFFF0) == SC_CLOSE) {
    CloseWindow();
    return;
  }
  CDialog::OnSysCommand(nID, lParam);
}

// Enter does not close a window of results.
void ListDialog::OnOK() {}

void ListDialog::OnCancel() { CloseWindow(); }

void ListDialog::OnDestroy() {
  // The worker must be gone before the window and the rows it writes.
  m_bClosing = true;
  ::KillTimer(m_hWnd, kRefreshTimer);
  m_job.Close();
  m_taskbar.Detach();
  CDialog::OnDestroy();
}

void ListDialog::OnBnClickedStop() {
  if (m_job.IsRunning()) {
    m_job.RequestStop();
    return;
  }
  CloseWindow();
}

void ListDialog::OnBnClickedCopy() {
  const std::vector<size_t> selected = m_view.SelectedRows();
  std::string text;
  {
    CriticalSection::Hold hold(m_shared.lock);
    text = CopyText(m_shared.set.rows, selected);
  }
  PutTextOnClipboard(m_hWnd, text);
}

void ListDialog::OnBnClickedSave() {
  if (m_job.IsRunning()) return;
  std::string proposed;
  {
    CriticalSection::Hold hold(m_shared.lock);
    proposed = DefaultSavePath(m_shared.set);
  }
  std::string path;
  ChecksumForm form = ChecksumForm::kGnu;
  if (!ChooseSavePath(proposed, &path, &form)) return;
  DWORD dwError = 0;
  bool bSaved = false;
  {
    CriticalSection::Hold hold(m_shared.lock);
    bSaved = SaveChecksumFile(m_shared.set, path, form, &dwError);
  }
  if (!bSaved) AfxMessageBox(SystemMessageText(dwError).c_str());
}

bool ListDialog::ChooseSavePath(const std::string& proposed, std::string* pPath,
                                ChecksumForm* pForm) {
  return PickSavePath(m_hWnd, proposed, pPath, pForm);
}

// The box's new state, or the new entry, applies once a run under way has
// ended: the run stops, and the next job starts from the rows it left.
void ListDialog::OnBnClickedUnlisted() { RestartWork(); }

void ListDialog::OnCbnSelchangeAlgorithm() { RestartWork(); }

void ListDialog::RestartWork() {
  if (!m_job.IsRunning()) {
    ContinueWork();
    return;
  }
  m_bRestartWanted = true;
  m_job.RequestStop();
}

BOOL ListDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult) {
  if (m_job.OnMessage(message, wParam, lParam, pResult)) return TRUE;
  switch (message) {
    case WM_NOTIFY:
      if (m_view.OnNotify(reinterpret_cast<const NMHDR*>(lParam), pResult)) return TRUE;
      break;
    case WM_NOTIFYFORMAT:
      *pResult = NFR_UNICODE;  // the list's texts carry every script
      return TRUE;
    case WM_TIMER:
      if (wParam == kRefreshTimer) Refresh();
      *pResult = 0;
      return TRUE;
    case WM_LIST_START:
      ContinueWork();
      *pResult = 0;
      return TRUE;
    default:
      break;
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
      if (m_view.Handle() != nullptr) m_view.FitDigestColumn();
      return FALSE;
    case WM_DPICHANGED:
      m_layout.OnDpiChanged(LOWORD(wParam), reinterpret_cast<const RECT*>(lParam));
      return FALSE;
    default:
      return FALSE;
  }
}
