#include "ui/FileJob.h"

#include <algorithm>

namespace {

// The end of a work that handed nothing back.
class NothingToApply : public FileJobEnd {
 public:
  bool HasNotice() const override { return false; }
  void ShowNotice() override {}
  void Apply() override {}
};

}  // namespace

void* FileJobOwner::BindWorker(FileJob& job) { return job.BindWorker(); }

HANDLE FileJobOwner::CreateWorker(void* pfnStart, DWORD* pdwThreadId) {
  return FileJob::CreateWorker(pfnStart, pdwThreadId);
}

FileJob::FileJob(FileJobOwner& owner) : m_owner(owner) {}

FileJob::~FileJob() {
  Close();  // normally done when the window went away
}

void* FileJob::BindWorker() { return m_thunk.BindFirstArgument(this, &FileJob::WorkerThread); }

HANDLE FileJob::CreateWorker(void* pfnStart, DWORD* pdwThreadId) {
  return ::CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(pfnStart), nullptr, 0,
                        pdwThreadId);
}

bool FileJob::Start(HWND hWnd) {
  // One job at a time: one that is still starting up counts. Once it has
  // handed its end back, a click starts a job.
  if (m_bRunning) return false;
  void* pfnStart = m_owner.BindWorker(*this);
  if (pfnStart == nullptr) return false;
  m_hWnd = hWnd;
  m_bRunning = TRUE;
  m_nStop = 0;
  ++m_nStarted;
  DWORD dwThreadId = 0;
  OwnedHandle thread(m_owner.CreateWorker(pfnStart, &dwThreadId));
  if (!thread) {
    m_nEnded = m_nStarted.load();
    m_bRunning = FALSE;
    return false;
  }
  // The previous worker has ended its job; it may not have returned yet.
  m_endingThreads.erase(std::remove_if(m_endingThreads.begin(), m_endingThreads.end(),
                                       [](const OwnedHandle& h) {
                                         return ::WaitForSingleObject(h.Get(), 0) != WAIT_TIMEOUT;
                                       }),
                        m_endingThreads.end());
  if (m_thread) m_endingThreads.push_back(std::move(m_thread));
  m_thread = std::move(thread);
  return true;
}

DWORD __stdcall FileJob::WorkerThread(LPVOID) {
  const unsigned nJob = m_nStarted.load();
  m_owner.RunJob(*this);
  // Counts only grow: once this job has ended, m_nEnded is at least nJob,
  // even when the next job has started and ended meanwhile.
  if (m_nEnded.load() < nJob) {
    NothingToApply nothing;
    HandBack(nothing);
  }
  return 1;
}

void FileJob::HandBack(FileJobEnd& end) {
  ::SendMessageA(m_hWnd, kEndMessage, 0, reinterpret_cast<LPARAM>(&end));
}

BOOL FileJob::OnMessage(UINT message, WPARAM, LPARAM lParam, LRESULT* pResult) {
  if (message != kEndMessage) return FALSE;
  EndJob(*reinterpret_cast<FileJobEnd*>(lParam));
  *pResult = 0;
  return TRUE;
}

void FileJob::EndJob(FileJobEnd& end) {
  // The notice is shown here, on this thread, so that the job ends the
  // moment it is closed: a click sent right after its OK finds no job.
  if (!m_bClosing && end.HasNotice()) {
    m_bNoticeOpen = true;
    end.ShowNotice();
    m_bNoticeOpen = false;
  }
  end.Apply();
  m_nEnded = m_nStarted.load();
  m_bRunning = FALSE;
  if (m_bStartWaiting) {
    m_bStartWaiting = false;
    if (!m_bClosing) m_owner.OnWaitingStart();
  }
}

bool FileJob::HoldsStartClick() {
  // A job whose last notice is up has done its work, though its window may
  // still offer a Stop until the notice is closed: there is nothing to
  // stop. A click that comes after the notice's OK, while the notice is
  // going away, starts the next job as soon as this one has ended.
  if (!m_bNoticeOpen) return false;
  if (::IsWindowEnabled(m_hWnd)) m_bStartWaiting = true;
  return true;
}

void FileJob::RequestStop() { StopRun(); }

void FileJob::StopRun() {
  CriticalSection::Hold lock(m_csRun);
  m_nStop = 1;
  if (m_pRunStop != nullptr) m_pRunStop->store(1);
}

std::atomic<int>* FileJob::RunStop() const {
  CriticalSection::Hold lock(m_csRun);
  return m_pRunStop;
}

FileJob::Run::Run(FileJob& job, std::atomic<int>* pStop) : m_job(job) {
  CriticalSection::Hold lock(m_job.m_csRun);
  m_job.m_pRunStop = pStop;
  if (m_job.m_nStop.load() != 0) pStop->store(1);
}

FileJob::Run::~Run() {
  CriticalSection::Hold lock(m_job.m_csRun);
  m_job.m_pRunStop = nullptr;
}

void FileJob::Close() {
  // Workers of ended jobs send nothing more: they only return.
  for (const OwnedHandle& h : m_endingThreads) ::WaitForSingleObject(h.Get(), INFINITE);
  m_endingThreads.clear();
  if (!m_thread) return;
  m_bClosing = TRUE;
  for (;;) {
    // Repeated, for runs that clear their own flag when they begin.
    StopRun();
    // The worker waits in messages it sends to this thread: serve them.
    const DWORD dwWait =
        ::MsgWaitForMultipleObjects(1, m_thread.Address(), FALSE, 100, QS_SENDMESSAGE);
    if (dwWait == WAIT_OBJECT_0 || dwWait == WAIT_FAILED) break;
    MSG msg;
    ::PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
  m_thread.Reset();
}
