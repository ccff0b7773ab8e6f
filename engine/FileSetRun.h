#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <string>
#include <vector>

// The digests of a set of files, read once each in list order.
//
// The thread that calls Run is the reader: it opens the files one after
// another (sequential access, kind to hard disks) and reads them in pieces
// of up to kPieceSize bytes with ReadFile, handing each piece to a pool of
// digest threads, one per processor. All pieces of one file go to one digest
// thread, in order, so small files hash side by side on every processor and
// a large one is read on this thread while another hashes it. The pieces in
// flight (read, not yet hashed) hold at most kMaxBytesInFlight bytes of
// buffers, whatever the set; the reader waits for the digest threads when
// they are behind.
//
// Every call into the FileSetSink comes on the thread that called Run, in
// list order, between reads: keep them short (post to a window rather than
// send to it and wait). No exception is thrown or caught here; failures are
// Windows error codes, per file.

// What the reader needs to read one task; the sink fills it in Begin.
struct FileSetTask {
  // The file, in the program's byte strings (the ANSI code page: UTF-8 under
  // the manifest), of any length: MAX_PATH bytes or more go through the wide
  // call in the extended form (fileio/LongPath.h). Opened read-only with
  // FILE_SHARE_READ, never written.
  std::string strPath;
  // The catalogue entries to compute from the one read of the file (one, or
  // the candidates of a search), plain digests (no HMAC). Empty: the file is
  // not opened and its result comes at once with code 0 and no digests (a
  // row the caller settles itself).
  std::vector<UINT> entries;
  // The bytes this task counted in Run's qwTotal, or kSizeUnknown when it
  // counted none. The total is put right when the file is opened (its size
  // then) or fails to open (nothing), so the bar ends full.
  ULONGLONG qwCounted = kSizeUnknown;

  static constexpr ULONGLONG kSizeUnknown = ~0ULL;
};

// The outcome of one task.
struct FileSetResult {
  // 0, or why the file gave no digests: the code of opening it (2 missing,
  // 3 path not found, 5 access denied or a folder, 32 held open for writing
  // by another program), of a read (33 a locked range, ...),
  // ERROR_NOT_SUPPORTED for a device or pipe, ERROR_HANDLE_EOF for a file
  // that became shorter than its size at open, ERROR_INVALID_PARAMETER for an
  // entry outside the catalogue, ERROR_NOT_ENOUGH_MEMORY when no buffer could
  // be had. A code never stops the run: the next task goes on.
  DWORD dwError = 0;
  // With code 0: one text per entry of the task, in its order, in lower case.
  std::vector<std::string> digests;
  ULONGLONG qwSize = 0;  // the file's size at open
};

// Where the run stands, for one bar over the whole set and the speed and
// time left beside it.
struct FileSetProgress {
  ULONGLONG qwDone = 0;   // bytes hashed so far
  ULONGLONG qwTotal = 0;  // bytes of the whole set as far as known now
  DWORD dwElapsedMs = 0;  // since Run began
  size_t nDelivered = 0;  // results handed to the sink so far

  double MiBPerSecond() const;
  // Seconds left at the speed so far; 0 before anything is hashed.
  DWORD SecondsLeft() const;
};

// The caller's side of a run. All calls come on the thread that called Run.
class FileSetSink {
 public:
  virtual ~FileSetSink() {}

  enum Answer { kRead, kAskAfterEarlier };
  // Task nIndex is next to be read: fill *pTask. Return kAskAfterEarlier to
  // be asked again once every earlier task's result has been delivered (for
  // a search whose entry an earlier file may still fix: no later task then
  // runs the whole search); the second answer is taken as kRead.
  virtual Answer Begin(size_t nIndex, FileSetTask* pTask) = 0;
  // Task nIndex's outcome, in list order: nIndex is 0, 1, 2, ... The result
  // may be moved from.
  virtual void Result(size_t nIndex, FileSetResult& result) = 0;
  // At most about every kProgressIntervalMs, and once at the end of a run
  // that was not stopped (then qwDone == qwTotal).
  virtual void Progress(const FileSetProgress& progress) { (void)progress; }
};

class FileSetRun {
 public:
  // stop is the caller's flag: any nonzero value stops the run. The run reads
  // it before each file and each piece and never writes it.
  explicit FileSetRun(const std::atomic<int>& stop);
  virtual ~FileSetRun();

  FileSetRun(const FileSetRun&) = delete;
  FileSetRun& operator=(const FileSetRun&) = delete;

  // Reads tasks 0 .. nTasks - 1 and delivers their results in order.
  // qwTotal: the bytes of the sizes the tasks count (FileSetTask::qwCounted).
  // Returns true when every task's result was delivered, false when the stop
  // flag ended the run: nothing is delivered after the stop is seen. Every
  // thread of the run has ended before Run returns, on every path.
  //
  // Memory: the buffers stay within kMaxBytesInFlight and the run keeps a
  // few hundred bytes for each file in flight, so a set of any size fits;
  // holding the set (its paths, its rows) is the caller's. A buffer that
  // cannot be allocated makes the run wait for the ones in flight, or, with
  // none in flight, gives that task ERROR_NOT_ENOUGH_MEMORY. A digest thread
  // that cannot be made leaves its share to the others, or with none the
  // hashing is done here, in line. The library's and std::string's own
  // allocations are not guarded, as nowhere in the engine: their
  // std::bad_alloc goes to the caller (and on a digest thread ends the
  // process), but the run's memory does not grow with the set.
  bool Run(size_t nTasks, ULONGLONG qwTotal, FileSetSink& sink);

  static constexpr DWORD kPieceSize = 1048576;
  static constexpr DWORD kMaxBytesInFlight = 64 * 1048576;
  static constexpr DWORD kProgressIntervalMs = 50;

  // Test seams. Buffers (HeapAlloc and HeapFree of the process heap in the
  // program): a test counts the bytes live at once.
  static void* (*s_pfnAllocate)(SIZE_T nBytes);
  static void (*s_pfnFree)(void* p, SIZE_T nBytes);
  // Creation of the digest threads (CreateThread in the program).
  static HANDLE(WINAPI* s_pfnCreateThread)(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE,
                                           LPVOID, DWORD, LPDWORD);
  // The number of digest threads; 0 (the program's value): one per processor.
  static unsigned s_nDigestThreads;

 private:
  const std::atomic<int>& m_stop;
};
