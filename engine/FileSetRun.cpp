#include "engine/FileSetRun.h"

#include <algorithm>
#include <deque>
#include <memory>

#include "engine/DigestPool.h"
#include "fileio/LongPath.h"

namespace {

void* AllocateFromHeap(SIZE_T nBytes) { return ::HeapAlloc(::GetProcessHeap(), 0, nBytes); }
void FreeToHeap(void* p, SIZE_T) { ::HeapFree(::GetProcessHeap(), 0, p); }

// Results waiting for an earlier one at most: the files that failed to open
// behind a large one being hashed stay few enough to be cheap.
const size_t kMaxJobs = 16384;

unsigned DigestThreadCount() {
  if (FileSetRun::s_nDigestThreads != 0) return FileSetRun::s_nDigestThreads;
  SYSTEM_INFO info;
  ::GetSystemInfo(&info);
  return info.dwNumberOfProcessors != 0 ? info.dwNumberOfProcessors : 1;
}

// Reads all of dwLength bytes, or says why not.
DWORD ReadWhole(HANDLE hFile, BYTE* pData, DWORD dwLength) {
  while (dwLength != 0) {
    DWORD dwRead = 0;
    if (!::ReadFile(hFile, pData, dwLength, &dwRead, nullptr)) {
      const DWORD dwError = ::GetLastError();
      return dwError != 0 ? dwError : ERROR_READ_FAULT;
    }
    // Shorter than its size at open: cut short while the run went on.
    if (dwRead == 0) return ERROR_HANDLE_EOF;
    pData += dwRead;
    dwLength -= dwRead;
  }
  return 0;
}

// One run: the reader's loop, which runs on the thread that called Run.
class SetReader {
 public:
  SetReader(const std::atomic<int>& stop, FileSetSink& sink, ULONGLONG qwTotal)
      : m_stop(stop),
        m_sink(sink),
        m_qwTotal(qwTotal),
        m_dwStart(::GetTickCount()),
        m_pool(stop, DigestThreadCount()) {}

  bool Run(size_t nTasks) {
    for (size_t i = 0; i < nTasks; ++i) {
      if (Stopped() || !ReadTask(i) || !Deliver()) return false;
    }
    if (!DeliverAll()) return false;
    Report(true);
    return true;
  }

 private:
  bool Stopped() const { return m_stop.load() != 0; }

  bool ReadTask(size_t nIndex) {
    FileSetTask task;
    if (m_sink.Begin(nIndex, &task) == FileSetSink::kAskAfterEarlier) {
      if (!DeliverAll()) return false;
      task = FileSetTask();
      m_sink.Begin(nIndex, &task);
    }
    if (Stopped()) return false;
    while (m_jobs.size() >= kMaxJobs) {
      if (!WaitForFront()) return false;
    }
    if (task.qwCounted != FileSetTask::kSizeUnknown)
      m_qwTotal -= std::min(task.qwCounted, m_qwTotal);
    m_jobs.push_back(std::unique_ptr<FileJob>(new FileJob));
    FileJob& job = *m_jobs.back();
    job.nIndex = nIndex;
    for (UINT nAlgorithm : task.entries) {
      job.digests.push_back(MakeDigestObject(nAlgorithm, std::string(), 0));
      if (!job.digests.back()) return EndFile(job, ERROR_INVALID_PARAMETER, false);
    }
    if (task.entries.empty()) {
      m_pool.MarkReady(job);
      return true;
    }
    return ReadFileOf(job, task.strPath);
  }

  bool ReadFileOf(FileJob& job, const std::string& path) {
    HANDLE hOpened = CreateFileAnyLength(path.c_str(), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING,
                                         FILE_FLAG_SEQUENTIAL_SCAN);
    if (hOpened == INVALID_HANDLE_VALUE || hOpened == nullptr)
      return EndFile(job, ::GetLastError(), false);
    OwnedHandle file(hOpened);
    // A device or pipe opens like a file but would read as some other
    // stream of bytes, or never end.
    if (::GetFileType(file.Get()) != FILE_TYPE_DISK)
      return EndFile(job, ERROR_NOT_SUPPORTED, false);
    LARGE_INTEGER size;
    if (!::GetFileSizeEx(file.Get(), &size)) return EndFile(job, ::GetLastError(), false);
    const ULONGLONG qwSize = static_cast<ULONGLONG>(size.QuadPart);
    job.result.qwSize = qwSize;
    m_qwTotal += qwSize;
    if (qwSize == 0) {
      for (std::unique_ptr<DigestObject>& digest : job.digests)
        job.result.digests.push_back(digest->Final(0));
      job.digests.clear();
      m_pool.MarkReady(job);
      return true;
    }
    job.nThread = m_pool.ChooseThread();
    bool bSent = false;
    for (ULONGLONG qwLeft = qwSize; qwLeft != 0;) {
      if (Stopped()) return false;
      const DWORD dwLength =
          static_cast<DWORD>(std::min<ULONGLONG>(qwLeft, FileSetRun::kPieceSize));
      FilePiece piece;
      const DigestPool::Acquired acquired = Acquire(dwLength, &piece);
      if (acquired == DigestPool::kFull) return false;  // stopped while waiting
      DWORD dwError = acquired == DigestPool::kNoMemory ? ERROR_NOT_ENOUGH_MEMORY : 0;
      if (dwError == 0) {
        dwError = ReadWhole(file.Get(), piece.pData, dwLength);
        if (dwError != 0) m_pool.Discard(piece);
      }
      if (dwError != 0) {
        m_qwTotal -= std::min(qwLeft, m_qwTotal);
        return EndFile(job, dwError, bSent);
      }
      qwLeft -= dwLength;
      piece.pJob = &job;
      piece.dwLength = dwLength;
      piece.bLast = qwLeft == 0;
      m_pool.Dispatch(piece);
      bSent = true;
      if (!Deliver()) return false;
    }
    return true;
  }

  // A file that gives no digests: at once when no piece of it went out,
  // else behind its pieces. False when the run stopped.
  bool EndFile(FileJob& job, DWORD dwError, bool bSent) {
    if (!bSent) {
      job.result.dwError = dwError;
      job.digests.clear();
      m_pool.MarkReady(job);
      return true;
    }
    FilePiece piece;
    if (Acquire(0, &piece) != DigestPool::kAcquired) return false;
    piece.pJob = &job;
    piece.bLast = true;
    piece.dwError = dwError;
    m_pool.Dispatch(piece);
    return true;
  }

  // A buffer, waiting while the bound is reached; kFull only when the run
  // was stopped meanwhile.
  DigestPool::Acquired Acquire(DWORD dwLength, FilePiece* pPiece) {
    for (;;) {
      unsigned nTicket = 0;
      const DigestPool::Acquired acquired = m_pool.TryAcquire(dwLength, pPiece, &nTicket);
      if (acquired != DigestPool::kFull) return acquired;
      if (!Deliver()) return DigestPool::kFull;
      m_pool.WaitForChange(nTicket);
      if (Stopped()) return DigestPool::kFull;
    }
  }

  // Hands the sink the results at the front that are complete.
  bool Deliver() {
    while (!m_jobs.empty() && m_pool.IsReady(*m_jobs.front())) {
      if (Stopped()) return false;
      std::unique_ptr<FileJob> job = std::move(m_jobs.front());
      m_jobs.pop_front();
      m_sink.Result(job->nIndex, job->result);
      ++m_nDelivered;
    }
    if (Stopped()) return false;
    Report(false);
    return true;
  }

  bool WaitForFront() {
    const unsigned nTicket = m_pool.Ticket();
    if (!m_pool.IsReady(*m_jobs.front())) m_pool.WaitForChange(nTicket);
    return Deliver();
  }

  bool DeliverAll() {
    while (!m_jobs.empty()) {
      if (!WaitForFront()) return false;
    }
    return true;
  }

  void Report(bool bLast) {
    const DWORD dwNow = ::GetTickCount();
    if (!bLast && dwNow - m_dwLastReport < FileSetRun::kProgressIntervalMs) return;
    m_dwLastReport = dwNow;
    FileSetProgress progress;
    progress.qwTotal = m_qwTotal;
    progress.qwDone = std::min(m_pool.BytesDone(), m_qwTotal);
    progress.dwElapsedMs = dwNow - m_dwStart;
    progress.nDelivered = m_nDelivered;
    m_sink.Progress(progress);
  }

  const std::atomic<int>& m_stop;
  FileSetSink& m_sink;
  ULONGLONG m_qwTotal;
  const DWORD m_dwStart;
  DWORD m_dwLastReport = m_dwStart;
  size_t m_nDelivered = 0;
  // The jobs before the pool: the pool's threads, which work on the jobs,
  // have ended before the jobs go.
  std::deque<std::unique_ptr<FileJob>> m_jobs;
  DigestPool m_pool;
};

}  // namespace

void* (*FileSetRun::s_pfnAllocate)(SIZE_T) = AllocateFromHeap;
void (*FileSetRun::s_pfnFree)(void*, SIZE_T) = FreeToHeap;
HANDLE(WINAPI* FileSetRun::s_pfnCreateThread)
(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD, LPDWORD) = ::CreateThread;
unsigned FileSetRun::s_nDigestThreads = 0;

double FileSetProgress::MiBPerSecond() const {
  if (dwElapsedMs == 0) return 0;
  return static_cast<double>(qwDone) / 1048576.0 / (dwElapsedMs / 1000.0);
}

DWORD FileSetProgress::SecondsLeft() const {
  if (qwDone == 0 || qwTotal <= qwDone) return 0;
  const double dSeconds =
      static_cast<double>(qwTotal - qwDone) * (dwElapsedMs / 1000.0) / static_cast<double>(qwDone);
  return static_cast<DWORD>(dSeconds + 0.5);
}

FileSetRun::FileSetRun(const std::atomic<int>& stop) : m_stop(stop) {}

FileSetRun::~FileSetRun() {}

bool FileSetRun::Run(size_t nTasks, ULONGLONG qwTotal, FileSetSink& sink) {
  SetReader reader(m_stop, sink, qwTotal);
  return reader.Run(nTasks);
}
