#include "ui/PathHandoff.h"

#include "fileio/LongPath.h"

namespace {

const wchar_t kReceiverClass[] = L"VexorinPathReceiver";
const wchar_t kMutexName[] = L"Local\\Vexorin.PathHandoff";
const wchar_t kCounterName[] = L"Local\\Vexorin.Starting";
// Marks a WM_COPYDATA as a list of paths: NUL-terminated UTF-16 strings.
const ULONG_PTR kPathsData = 0x56585048;  // "VXPH"
// A receiver busy for longer than this is taken as hung.
const UINT kSendTimeoutMs = 10000;

// Holds the hand-off mutex; an abandoned mutex (its owner died) is held too.
class MutexLock {
 public:
  explicit MutexLock(HANDLE hMutex) : m_hMutex(hMutex) {
    const DWORD dwWait = hMutex != nullptr ? ::WaitForSingleObject(hMutex, kSendTimeoutMs) : 0;
    m_bHeld = dwWait == WAIT_OBJECT_0 || dwWait == WAIT_ABANDONED;
  }
  ~MutexLock() {
    if (m_bHeld) ::ReleaseMutex(m_hMutex);
  }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  HANDLE m_hMutex;
  bool m_bHeld = false;
};

HWND FindReceiver() { return ::FindWindowExW(HWND_MESSAGE, nullptr, kReceiverClass, nullptr); }

std::wstring WideFromProgram(const std::string& text) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring wide(n > 0 ? n : 0, L'\0');
  if (n > 0) ::MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &wide[0], n);
  return wide;
}

}  // namespace

PathHandoff::PathHandoff(bool bStarting) : m_mutex(::CreateMutexW(nullptr, FALSE, kMutexName)) {
  m_counter.Reset(::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                       sizeof(LONG), kCounterName));
  if (m_counter)
    m_pStarting = static_cast<LONG*>(
        ::MapViewOfFile(m_counter.Get(), FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (bStarting && m_pStarting != nullptr) {
    ::InterlockedIncrement(m_pStarting);
    m_bCounted = true;
  }
}

PathHandoff::~PathHandoff() {
  StopReceiving();
  LeaveStarting();
  if (m_pStarting != nullptr) ::UnmapViewOfFile(m_pStarting);
}

LONG PathHandoff::StartingCount() const {
  return m_pStarting != nullptr ? *static_cast<volatile LONG*>(m_pStarting) : 0;
}

void PathHandoff::LeaveStarting() {
  if (!m_bCounted) return;
  ::InterlockedDecrement(m_pStarting);
  m_bCounted = false;
}

bool PathHandoff::SendPaths(HWND hReceiver, const std::vector<std::string>& paths) {
  std::wstring block;
  for (const std::string& path : paths) {
    block += WideFromProgram(path);
    block += L'\0';
  }
  COPYDATASTRUCT data = {kPathsData, (DWORD)(block.size() * sizeof(wchar_t)), &block[0]};
  DWORD_PTR dwResult = 0;
  return ::SendMessageTimeoutW(hReceiver, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_NORMAL, kSendTimeoutMs, &dwResult) != 0 &&
         dwResult == TRUE;
}

bool PathHandoff::HandOverOrReceive(const std::vector<std::string>& paths, bool bBecome) {
  MutexLock lock(m_mutex.Get());
  if (HWND hReceiver = FindReceiver()) {
    if (SendPaths(hReceiver, paths)) {
      LeaveStarting();
      return true;
    }
  }
  if (!bBecome) return false;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &PathHandoff::WindowProc;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = kReceiverClass;
  ::RegisterClassExW(&wc);  // fails harmlessly when already registered
  m_hWnd = ::CreateWindowExW(0, kReceiverClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                             wc.hInstance, nullptr);
  if (m_hWnd != nullptr) ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, (LONG_PTR)this);
  m_dwLastArrival = ::GetTickCount();
  LeaveStarting();
  return false;
}

std::vector<std::string> PathHandoff::Gather(const std::vector<std::string>& own, DWORD nQuietMs,
                                             DWORD nMaxMs) {
  m_gathered.insert(m_gathered.begin(), own.begin(), own.end());
  const DWORD dwStart = ::GetTickCount();
  while (m_hWnd != nullptr && ::GetTickCount() - dwStart < nMaxMs) {
    if (StartingCount() == 0 && ::GetTickCount() - m_dwLastArrival >= nQuietMs) break;
    // Hand-overs are sent messages: a peek serves them.
    ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_SENDMESSAGE);
    MSG msg;
    ::PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  std::vector<std::string> paths;
  paths.swap(m_gathered);
  return paths;
}

void PathHandoff::StopReceiving() {
  if (m_hWnd == nullptr) return;
  MutexLock lock(m_mutex.Get());
  ::DestroyWindow(m_hWnd);
  m_hWnd = nullptr;
}

bool PathHandoff::HandOverWhenReady(const std::vector<std::string>& paths, DWORD nWaitMs) {
  PathHandoff sender(false);
  const DWORD dwStart = ::GetTickCount();
  do {
    if (sender.HandOverOrReceive(paths, false)) return true;
    ::Sleep(50);
  } while (::GetTickCount() - dwStart < nWaitMs);
  return false;
}

void PathHandoff::Receive(const std::vector<std::string>& paths) {
  m_dwLastArrival = ::GetTickCount();
  if (m_sink)
    m_sink(paths);
  else
    m_gathered.insert(m_gathered.end(), paths.begin(), paths.end());
}

LRESULT CALLBACK PathHandoff::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message != WM_COPYDATA) return ::DefWindowProcW(hWnd, message, wParam, lParam);
  auto* pSelf = reinterpret_cast<PathHandoff*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
  const auto* pData = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
  // Another process's bytes: only whole, NUL-terminated UTF-16 strings.
  if (pSelf == nullptr || pData == nullptr || pData->dwData != kPathsData ||
      pData->cbData % sizeof(wchar_t) != 0 || pData->cbData == 0)
    return FALSE;
  const wchar_t* p = static_cast<const wchar_t*>(pData->lpData);
  const size_t nUnits = pData->cbData / sizeof(wchar_t);
  if (p[nUnits - 1] != L'\0') return FALSE;
  std::vector<std::string> paths;
  for (size_t i = 0; i < nUnits;) {
    const size_t n = wcslen(p + i);
    if (n != 0) paths.push_back(NarrowFromWide(p + i, (int)n));
    i += n + 1;
  }
  pSelf->Receive(paths);
  return TRUE;
}

bool PathHandoff::OpenInListWindow(const std::vector<std::string>& paths) {
  if (HandOverWhenReady(paths, 0)) return true;
  std::wstring exe(32768, L'\0');
  exe.resize(::GetModuleFileNameW(nullptr, &exe[0], (DWORD)exe.size()));
  std::wstring commandLine = L"\"" + exe + L"\" " + WideFromProgram(ListOnlySwitch());
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (exe.empty() || !::CreateProcessW(exe.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0,
                                       nullptr, nullptr, &si, &pi))
    return false;
  ::CloseHandle(pi.hThread);
  OwnedHandle process(pi.hProcess);
  return HandOverWhenReady(paths, 20000);
}
