#include "engine/DigestPool.h"

#include <algorithm>

namespace {

// A piece up to this size gets a buffer of its own size from the heap; a
// larger one a pooled buffer of kPieceSize, which is reused, not freed: the
// heap hands out blocks that size as fresh pages, and their faults would
// cost more than the copy into them.
const DWORD kSmallPiece = 65536;
// What a small piece holds against the bound at least: with a floor, the
// files in flight stay few enough that their bookkeeping is small too.
const DWORD kMinCharge = 4096;
// A digest thread asleep is woken once this many pieces or bytes wait for
// it (and whenever the reader itself waits). Under Wine a wake and a sleep
// are calls to the one server process, which every open and close of the
// reader waits on too: a wake per file would slow the reader, the pace of
// any set whose files are small next to what a thread hashes meanwhile.
const unsigned kWakeBatch = 16;
const DWORD kWakeBytes = 4 * FileSetRun::kPieceSize;

}  // namespace

struct DigestPool::Worker {
  DigestPool* pPool = nullptr;
  std::deque<FilePiece> queue;
  ULONGLONG qwQueued = 0;  // bytes queued or being hashed
  unsigned nUnwoken = 0;   // pieces queued since the last wake
  DWORD dwUnwoken = 0;     // and their bytes
  std::atomic<unsigned> nPushed{0};
  WaitGate gate;  // waits for a piece
  OwnedHandle thread;
};

DigestPool::DigestPool(const std::atomic<int>& stop, unsigned nThreads) : m_stop(stop) {
  if (!m_reader.Create()) return;  // no waiting possible: everything in line
  m_workers.reserve(nThreads);
  for (unsigned i = 0; i < nThreads; ++i) {
    std::unique_ptr<Worker> worker(new Worker);
    worker->pPool = this;
    if (!worker->gate.Create()) continue;
    Worker& started = *worker;
    m_workers.push_back(std::move(worker));
    started.thread.Reset(
        FileSetRun::s_pfnCreateThread(nullptr, 0, &DigestPool::ThreadProc, &started, 0, nullptr));
    if (!started.thread) m_workers.pop_back();
  }
}

DigestPool::~DigestPool() {
  m_bQuit.store(1);
  for (std::unique_ptr<Worker>& worker : m_workers) worker->gate.Wake();
  for (std::unique_ptr<Worker>& worker : m_workers) {
    ::WaitForSingleObject(worker->thread.Get(), INFINITE);
    // Pieces a stop left queued, pooled buffers too.
    for (const FilePiece& piece : worker->queue) {
      FreeBuffer(piece);
      if (piece.pData != nullptr && piece.dwCapacity == FileSetRun::kPieceSize)
        m_free.push_back(piece.pData);
    }
  }
  for (BYTE* p : m_free) FileSetRun::s_pfnFree(p, FileSetRun::kPieceSize);
}

DWORD WINAPI DigestPool::ThreadProc(LPVOID pParam) {
  Worker& worker = *static_cast<Worker*>(pParam);
  worker.pPool->Serve(worker);
  return 0;
}

void DigestPool::Serve(Worker& worker) {
  for (;;) {
    FilePiece piece;
    unsigned nSeen = 0;
    {
      CriticalSection::Hold lock(m_cs);
      if (m_bQuit.load() != 0) return;
      if (!worker.queue.empty()) {
        piece = worker.queue.front();
        worker.queue.pop_front();
      } else {
        nSeen = worker.nPushed.load();
      }
    }
    if (piece.pJob == nullptr) {
      worker.gate.WaitUntil([&] { return m_bQuit.load() != 0 || worker.nPushed.load() != nSeen; });
      continue;
    }
    Hash(piece);
    Finish(&worker, piece);
  }
}

void DigestPool::Hash(const FilePiece& piece) {
  FileJob& job = *piece.pJob;
  // After a stop nothing is delivered: the pieces only go back.
  const bool bStopped = m_stop.load() != 0;
  if (!bStopped && piece.dwLength != 0) {
    for (std::unique_ptr<DigestObject>& digest : job.digests)
      digest->Update(piece.pData, piece.dwLength);
  }
  if (!piece.bLast) return;
  if (piece.dwError != 0) {
    job.result.dwError = piece.dwError;
  } else if (!bStopped) {
    for (std::unique_ptr<DigestObject>& digest : job.digests)
      job.result.digests.push_back(digest->Final(0));
  }
  job.digests.clear();
}

void DigestPool::FreeBuffer(const FilePiece& piece) {
  if (piece.pData != nullptr && piece.dwCapacity != FileSetRun::kPieceSize)
    FileSetRun::s_pfnFree(piece.pData, piece.dwCapacity);
}

void DigestPool::Finish(Worker* pWorker, const FilePiece& piece) {
  // Freed before its bytes leave the bound, so the live buffers never
  // exceed it.
  FreeBuffer(piece);
  {
    CriticalSection::Hold lock(m_cs);
    ReturnPiece(piece);
    if (m_stop.load() == 0) m_qwDone += piece.dwLength;
    if (pWorker != nullptr) pWorker->qwQueued -= std::max<DWORD>(piece.dwLength, 1);
    if (piece.bLast) piece.pJob->bReady = true;
    m_nChanged.store(m_nChanged.load() + 1);
  }
  m_reader.Wake();
}

DigestPool::Acquired DigestPool::TryAcquire(DWORD dwLength, FilePiece* pPiece, unsigned* pTicket) {
  const bool bPooled = dwLength > kSmallPiece;
  const DWORD dwCharge = bPooled ? FileSetRun::kPieceSize : std::max(dwLength, kMinCharge);
  CriticalSection::Hold lock(m_cs);
  *pTicket = m_nChanged.load();
  const bool bRoom = m_dwCharged + dwCharge <= FileSetRun::kMaxBytesInFlight;
  if (dwLength != 0 && (bPooled || !bRoom) && !m_free.empty()) {
    pPiece->pData = m_free.back();
    pPiece->dwCapacity = FileSetRun::kPieceSize;
    pPiece->dwCharge = 0;
    m_free.pop_back();
    ++m_nInFlight;
    return kAcquired;
  }
  if (!bRoom) return kFull;
  pPiece->pData = nullptr;
  pPiece->dwCapacity = bPooled ? FileSetRun::kPieceSize : dwLength;
  // A pooled buffer stays charged while it waits in the pool.
  pPiece->dwCharge = bPooled ? 0 : dwCharge;
  if (dwLength != 0) {
    pPiece->pData = static_cast<BYTE*>(FileSetRun::s_pfnAllocate(pPiece->dwCapacity));
    if (pPiece->pData == nullptr) {
      if (!m_free.empty()) {
        pPiece->pData = m_free.back();
        pPiece->dwCapacity = FileSetRun::kPieceSize;
        pPiece->dwCharge = 0;
        m_free.pop_back();
        ++m_nInFlight;
        return kAcquired;
      }
      return m_nInFlight == 0 ? kNoMemory : kFull;
    }
  }
  m_dwCharged += dwCharge;
  ++m_nInFlight;
  return kAcquired;
}

void DigestPool::Discard(const FilePiece& piece) {
  FreeBuffer(piece);
  CriticalSection::Hold lock(m_cs);
  ReturnPiece(piece);
}

void DigestPool::ReturnPiece(const FilePiece& piece) {
  if (piece.pData != nullptr && piece.dwCapacity == FileSetRun::kPieceSize)
    m_free.push_back(piece.pData);
  m_dwCharged -= piece.dwCharge;
  --m_nInFlight;
}

unsigned DigestPool::ChooseThread() {
  CriticalSection::Hold lock(m_cs);
  unsigned nBest = 0;
  for (unsigned i = 1; i < m_workers.size(); ++i) {
    if (m_workers[i]->qwQueued < m_workers[nBest]->qwQueued) nBest = i;
  }
  return nBest;
}

void DigestPool::Dispatch(const FilePiece& piece) {
  if (m_workers.empty()) {
    Hash(piece);
    Finish(nullptr, piece);
    return;
  }
  Worker& worker = *m_workers[piece.pJob->nThread];
  bool bWake = false;
  {
    CriticalSection::Hold lock(m_cs);
    worker.queue.push_back(piece);
    worker.qwQueued += std::max<DWORD>(piece.dwLength, 1);
    worker.nPushed.store(worker.nPushed.load() + 1);
    worker.dwUnwoken += piece.dwLength;
    bWake = ++worker.nUnwoken >= kWakeBatch || worker.dwUnwoken >= kWakeBytes;
    if (bWake) worker.nUnwoken = worker.dwUnwoken = 0;
  }
  if (bWake) worker.gate.Wake();
}

void DigestPool::WakeAll() {
  for (std::unique_ptr<Worker>& worker : m_workers) {
    bool bWake = false;
    {
      CriticalSection::Hold lock(m_cs);
      bWake = worker->nUnwoken != 0;
      worker->nUnwoken = worker->dwUnwoken = 0;
    }
    if (bWake) worker->gate.Wake();
  }
}

void DigestPool::MarkReady(FileJob& job) {
  CriticalSection::Hold lock(m_cs);
  job.bReady = true;
}

bool DigestPool::IsReady(const FileJob& job) {
  CriticalSection::Hold lock(m_cs);
  return job.bReady;
}

void DigestPool::WaitForChange(unsigned nTicket) {
  WakeAll();
  m_reader.WaitUntil([&] { return m_nChanged.load() != nTicket; });
}

ULONGLONG DigestPool::BytesDone() {
  CriticalSection::Hold lock(m_cs);
  return m_qwDone;
}
