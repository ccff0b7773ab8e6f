#pragma once

#include <windows.h>

#include <atomic>
#include <vector>

#include "fileio/CriticalSection.h"
#include "fileio/OwnedHandle.h"
#include "ui/CallbackThunk.h"

class FileJob;

// What a job's work hands back at its end. The work makes and fills it on
// the worker thread; the job calls it on the user-interface thread, inside
// its end message, while the worker waits in FileJob::HandBack. Nothing
// else runs on that thread in between, so no click or close falls between
// the notice, the outcome and the job's end.
class FileJobEnd {
 public:
  // Whether the user must read a notice before the job ends (why it could
  // not run, why the file could not be read).
  virtual bool HasNotice() const = 0;
  // Shows that notice, modally; never called while the window closes.
  virtual void ShowNotice() = 0;
  // Puts the outcome into the window. The job counts as ended the moment
  // this returns.
  virtual void Apply() = 0;

 protected:
  ~FileJobEnd() = default;
};

// The window that runs jobs through a FileJob.
class FileJobOwner {
 public:
  // Worker thread: the whole work of one job. It reads the job's stop
  // request (StopRequested, or StopFlag for a run that reads it itself),
  // holds each stoppable run in a FileJob::Run while it runs, and ends with
  // job.HandBack(end), once. A work that returns without handing back is
  // ended by the job with nothing to apply.
  virtual void RunJob(FileJob& job) = 0;

  // User-interface thread: a Start click that came after the job's last
  // notice was confirmed, given once that job has ended (never while the
  // window closes). Normally the owner's own Start handler.
  virtual void OnWaitingStart() = 0;

  // User-interface thread, inside FileJob::Start: the worker's start address
  // and thread, separate so that a test can make either fail.
  virtual void* BindWorker(FileJob& job);
  virtual HANDLE CreateWorker(void* pfnStart, DWORD* pdwThreadId);

 protected:
  ~FileJobOwner() = default;
};

// One file job at a time for a window: its worker thread, the threads that
// closing waits for, the stop request, the hand-over of the run under way,
// the hand-back of the end and the rule for the last notice.
//
// Threads. Start, RequestStop, HoldsStartClick, Close and OnMessage are
// called on the owner's user-interface thread; the worker calls
// FileJobOwner::RunJob, StopRequested, StopFlag, IsClosing, Run and
// HandBack. The worker reaches the window only through messages it sends
// (it waits for each), so everything the window owns stays on its thread.
//
// Stopping. The stop request belongs to the job: Start clears it, a
// confirmed Stop and closing set it, and nothing else clears it, so a run
// that reads it (a Hasher given StopFlag as its outer stop) stops however
// early the Stop came, even in the instant before the run began. A run that
// has a stop flag of its own (std::atomic<int>, as Hasher::m_bStop or a run
// over many files) is held in a FileJob::Run while it runs: the job then
// also sets that flag, under the job's lock, so a Stop never writes into a
// run that the worker is destroying.
//
// Ending. The work ends with HandBack(end): the job sends its end message
// to the window, shows end's notice (unless the window closes), applies the
// end and counts the job as ended, then gives a waiting Start click to the
// owner. A worker that has handed back only returns; the next job may start
// before it has, and closing waits for it too.
//
// The last notice. While it is up the job has done its work and there is
// nothing to stop: a Start click then is taken by HoldsStartClick. One that
// comes after the notice's OK (the window is enabled again while the notice
// goes away) is kept and given to OnWaitingStart once the job has ended.
//
// Closing. Close (from the window's WM_DESTROY, and the destructor) sets
// the stop request and the run's flag, then waits for every worker,
// serving the messages they send meanwhile.
class FileJob {
 public:
  explicit FileJob(FileJobOwner& owner);
  ~FileJob();

  FileJob(const FileJob&) = delete;
  FileJob& operator=(const FileJob&) = delete;

  // The message the job's end comes in: the owner's window procedure gives
  // every message to OnMessage first. The owner uses no message of its own
  // with this number.
  static const UINT kEndMessage = WM_APP + 1;

  // --- user-interface thread ---

  // Starts a job whose end comes to hWnd; false when one is under way (one
  // that is still starting up counts) or its thread cannot be made.
  bool Start(HWND hWnd);
  // A Stop the user confirmed.
  void RequestStop();
  // True when a Start click is the job's to take (its last notice is up);
  // the owner then does nothing more with it.
  bool HoldsStartClick();
  // Stops a job under way and waits for every worker.
  void Close();
  // The end message; true when the message was the job's.
  BOOL OnMessage(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* pResult);

  // From the Start click that starts a job until its end has been applied.
  bool IsRunning() const { return m_bRunning.load() != FALSE; }
  // A worker of the current or last job is known (closing waits for it).
  bool HasWorker() const { return static_cast<bool>(m_thread); }
  // The stop flag of the run held in a Run now; null between runs.
  std::atomic<int>* RunStop() const;

  // --- worker thread ---

  bool StopRequested() const { return m_nStop.load() != 0; }
  const std::atomic<int>& StopFlag() const { return m_nStop; }
  bool IsClosing() const { return m_bClosing.load() != FALSE; }
  // Sends the end to the window and returns once it has been applied.
  void HandBack(FileJobEnd& end);

  // Holds a run's stop flag while the run is under way; declared after the
  // run's object, so it lets go before the object dies. A stop already
  // requested sets the flag at once.
  class Run {
   public:
    Run(FileJob& job, std::atomic<int>* pStop);
    ~Run();
    Run(const Run&) = delete;
    Run& operator=(const Run&) = delete;

   private:
    FileJob& m_job;
  };

  // The worker's start through the callback adapter (the default of
  // FileJobOwner::BindWorker), and CreateThread (of CreateWorker).
  void* BindWorker();
  static HANDLE CreateWorker(void* pfnStart, DWORD* pdwThreadId);

  // Set from Start until the end is applied; a test may set it to stand
  // for a job under way.
  std::atomic<BOOL> m_bRunning{FALSE};

 private:
  DWORD __stdcall WorkerThread(LPVOID lpParameter);
  void EndJob(FileJobEnd& end);
  void StopRun();

  FileJobOwner& m_owner;
  HWND m_hWnd = nullptr;
  CallbackThunk m_thunk;
  // The worker of the current (or last) job, and workers of earlier jobs
  // that had handed back but not yet returned when the next one started.
  OwnedHandle m_thread;
  std::vector<OwnedHandle> m_endingThreads;
  std::atomic<int> m_nStop{0};
  std::atomic<BOOL> m_bClosing{FALSE};
  // Jobs started and ended: a work that returned without handing back
  // is ended by its worker.
  std::atomic<unsigned> m_nStarted{0};
  std::atomic<unsigned> m_nEnded{0};
  // Guards m_pRunStop: the run's flag is set and let go under it.
  mutable CriticalSection m_csRun;
  std::atomic<int>* m_pRunStop = nullptr;
  // User-interface thread only.
  bool m_bNoticeOpen = false;
  bool m_bStartWaiting = false;
};
