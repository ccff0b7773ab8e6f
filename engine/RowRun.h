#pragma once

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <deque>
#include <functional>
#include <vector>

#include "engine/EntryChooser.h"
#include "engine/FileRows.h"
#include "engine/FileSetRun.h"
#include "fileio/CriticalSection.h"

// A set of rows that one thread writes while others read it: a window
// shows the rows while a worker settles them. The writer changes set and
// counts only while holding lock; readers hold it while they read.
struct SharedRows {
  mutable CriticalSection lock;
  FileSet set;
  RowCounts counts;  // of set.rows, kept as rows settle
  // The run under way, for the bar and the summary; bRunning false between runs.
  FileSetProgress progress;
  bool bRunning = false;
  bool bSizesKnown = true;  // every task of the run counted its size
  size_t nTasks = 0;
};

// Whether rows are to be drawn in the colour of a good result, a bad one
// or none: "" results have none.
enum class RowTone { kNone, kGood, kBad };
RowTone ToneOf(RowResult result);

// The rows of a shared set that need a run, read by a FileSetRun and
// settled by an EntryChooser. The thread that calls Run is the set's only
// writer meanwhile: it reads the rows without the lock and changes them
// (and the counts and the progress) under it.
class RowRun : public FileSetSink {
 public:
  // onChange is called on the running thread after rows settle and with
  // each progress report; keep it short (post to a window).
  RowRun(SharedRows& shared, EntryChooser& chooser, std::function<void()> onChange);

  // Runs rows nFirst .. the end; true when every one was reached, false
  // when stop ended the run first (rows not reached stay as they were).
  bool Run(size_t nFirst, const std::atomic<int>& stop);

  // The bar's position over the run, 0 .. nScale: by bytes where every
  // task's size was known beforehand, else by files.
  static int Position(const SharedRows& shared, int nScale);

  Answer Begin(size_t nIndex, FileSetTask* pTask) override;
  void Result(size_t nIndex, FileSetResult& result) override;
  void Progress(const FileSetProgress& progress) override;

 private:
  SharedRows& m_shared;
  EntryChooser& m_chooser;
  std::function<void()> m_onChange;
  size_t m_nFirst = 0;
  // The entries of the tasks read and not yet delivered, in list order.
  std::deque<std::vector<UINT>> m_inFlight;
  size_t m_nAskedAgain = static_cast<size_t>(-1);
};
