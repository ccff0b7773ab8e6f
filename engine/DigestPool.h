#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <memory>
#include <vector>

#include "engine/DigestObject.h"
#include "engine/FileSetRun.h"
#include "engine/WaitGate.h"
#include "fileio/CriticalSection.h"
#include "fileio/OwnedHandle.h"

// The digest threads of a FileSetRun and the buffers the reader hands them.
// The reader is one thread (the one that runs the FileSetRun); the pool's
// own threads only hash.

// One file between its first read and the delivery of its result. The
// reader fills it before its first piece goes out; after that only the
// digest thread of its pieces touches digests and result, until bReady.
struct FileJob {
  size_t nIndex = 0;
  std::vector<std::unique_ptr<DigestObject>> digests;
  FileSetResult result;
  unsigned nThread = 0;  // the digest thread all its pieces go to, in order
  bool bReady = false;   // the result is complete (under the pool's lock)
};

// A stretch of a file on its way to a digest thread.
struct FilePiece {
  FileJob* pJob = nullptr;
  BYTE* pData = nullptr;  // null for a piece without bytes
  DWORD dwLength = 0;
  DWORD dwCapacity = 0;  // of the buffer; FileSetRun::kPieceSize for a pooled one
  DWORD dwCharge = 0;    // bytes held against the bound (0 for a pooled buffer)
  bool bLast = false;    // the digests are read after it
  DWORD dwError = 0;     // on a last piece: the file failed, no digests
};

class DigestPool {
 public:
  // Starts up to nThreads digest threads; with none, Dispatch hashes in line.
  DigestPool(const std::atomic<int>& stop, unsigned nThreads);
  // Ends every thread, waits for it, and frees every buffer.
  ~DigestPool();

  DigestPool(const DigestPool&) = delete;
  DigestPool& operator=(const DigestPool&) = delete;

  enum Acquired { kAcquired, kFull, kNoMemory };
  // A buffer for a piece of dwLength bytes (at most kPieceSize; 0: a piece
  // without bytes, which still counts against the bound). kFull: the bound
  // is reached, wait with WaitForChange(*pTicket) and try again. kNoMemory:
  // no buffer could be allocated and none is in flight to wait for.
  Acquired TryAcquire(DWORD dwLength, FilePiece* pPiece, unsigned* pTicket);
  // Gives back a buffer that is not handed on.
  void Discard(const FilePiece& piece);
  // The digest thread for a new file: the one with the fewest bytes queued.
  unsigned ChooseThread();
  // Hands a piece to its job's digest thread (pieces of one job in order).
  void Dispatch(const FilePiece& piece);
  // A job that needs no digest thread (it failed to open, or is complete).
  void MarkReady(FileJob& job);
  bool IsReady(const FileJob& job);

  // A count that changes whenever a piece is done.
  unsigned Ticket() const { return m_nChanged.load(); }
  // Waits until the count is not nTicket; threads with pieces not yet
  // woken for are woken first.
  void WaitForChange(unsigned nTicket);

  ULONGLONG BytesDone();

 private:
  struct Worker;

  static DWORD WINAPI ThreadProc(LPVOID pParam);
  void Serve(Worker& worker);
  void Hash(const FilePiece& piece);
  void Finish(Worker* pWorker, const FilePiece& piece);
  void WakeAll();
  void FreeBuffer(const FilePiece& piece);
  // Under m_cs: a reusable buffer back to the pool, the piece off the bound.
  void ReturnPiece(const FilePiece& piece);

  const std::atomic<int>& m_stop;
  CriticalSection m_cs;
  std::vector<std::unique_ptr<Worker>> m_workers;
  std::vector<BYTE*> m_free;  // pooled buffers not in use
  DWORD m_dwCharged = 0;      // bytes of buffers held against the bound
  size_t m_nInFlight = 0;     // pieces acquired and not done
  ULONGLONG m_qwDone = 0;     // bytes hashed
  std::atomic<unsigned> m_nChanged{0};
  std::atomic<int> m_bQuit{0};
  WaitGate m_reader;  // the reader waits here for a piece to be done
};
