#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/FileSetRun.h"
#include "engine/Hasher.h"
#include "tests/common/DeepFile.h"
#include "tests/common/TempFile.h"

namespace {

const ULONGLONG kUnknown = FileSetTask::kSizeUnknown;

std::vector<UINT> AllEntries() {
  std::vector<UINT> all;
  for (UINT entry = 0; entry < kAlgorithmCount; ++entry) all.push_back(entry);
  return all;
}

std::string FileDigest(UINT entry, const std::string& path) {
  Hasher hasher(entry);
  return hasher.HashFile(path.c_str(), "", 0, 0, ProgressCallback());
}

// Records a run; the hooks run inside the sink's calls, on the run's thread.
class Recorder : public FileSetSink {
 public:
  explicit Recorder(std::vector<FileSetTask> tasks) : m_tasks(std::move(tasks)) {}

  Answer Begin(size_t nIndex, FileSetTask* pTask) override {
    begun.push_back(nIndex);
    if (onBegin && onBegin(nIndex)) return kAskAfterEarlier;
    *pTask = m_tasks[nIndex];
    return kRead;
  }
  void Result(size_t nIndex, FileSetResult& result) override {
    order.push_back(nIndex);
    results.push_back(std::move(result));
    if (onResult) onResult(nIndex);
  }
  void Progress(const FileSetProgress& progress) override {
    reports.push_back(progress);
    if (onProgress) onProgress();
  }

  size_t Size() const { return m_tasks.size(); }
  ULONGLONG Counted() const {
    ULONGLONG total = 0;
    for (const FileSetTask& task : m_tasks)
      if (task.qwCounted != kUnknown) total += task.qwCounted;
    return total;
  }

  std::function<bool(size_t)> onBegin;  // true: ask again after the earlier ones
  std::function<void(size_t)> onResult;
  std::function<void()> onProgress;
  std::vector<size_t> begun;
  std::vector<size_t> order;
  std::vector<FileSetResult> results;
  std::vector<FileSetProgress> reports;

 private:
  std::vector<FileSetTask> m_tasks;
};

bool RunAll(Recorder& recorder, std::atomic<int>& stop) {
  FileSetRun run(stop);
  return run.Run(recorder.Size(), recorder.Counted(), recorder);
}

std::vector<size_t> Sequence(size_t n) {
  std::vector<size_t> sequence(n);
  for (size_t i = 0; i < n; ++i) sequence[i] = i;
  return sequence;
}

// Every digest thread the run makes, kept open by the test so it can see
// them all ended when Run returns.
std::vector<HANDLE> g_threads;
int g_nThreadCalls = 0;
HANDLE WINAPI RecordedThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f, LPVOID p,
                             DWORD c, LPDWORD id) {
  ++g_nThreadCalls;
  HANDLE h = ::CreateThread(a, s, f, p, c, id);
  HANDLE copy = nullptr;
  if (h && ::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &copy, 0, FALSE,
                             DUPLICATE_SAME_ACCESS))
    g_threads.push_back(copy);
  return h;
}
HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                       LPDWORD) {
  ++g_nThreadCalls;
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}
HANDLE WINAPI EveryOtherThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f,
                               LPVOID p, DWORD c, LPDWORD id) {
  return g_nThreadCalls % 2 == 0 ? NoThread(a, s, f, p, c, id) : RecordedThread(a, s, f, p, c, id);
}

// The bytes of the run's buffers live at once, through the allocation seam.
std::atomic<long long> g_live{0};
std::atomic<long long> g_peak{0};
std::atomic<int> g_nAllocations{0};
std::function<void()> g_onAllocation;
void* CountedAllocate(SIZE_T n) {
  ++g_nAllocations;
  if (g_onAllocation) g_onAllocation();
  void* p = ::HeapAlloc(::GetProcessHeap(), 0, n);
  const long long live = g_live += static_cast<long long>(n);
  long long peak = g_peak.load();
  while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
  }
  return p;
}
void CountedFree(void* p, SIZE_T n) {
  ::HeapFree(::GetProcessHeap(), 0, p);
  g_live -= static_cast<long long>(n);
}
void* NoMemory(SIZE_T) { return nullptr; }

// Puts every seam back, and checks that the run left no thread and no
// buffer behind.
class FileSetTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_threads.clear();
    g_nThreadCalls = 0;
    g_live = 0;
    g_peak = 0;
    g_nAllocations = 0;
    FileSetRun::s_pfnCreateThread = RecordedThread;
    FileSetRun::s_pfnAllocate = CountedAllocate;
    FileSetRun::s_pfnFree = CountedFree;
  }
  void TearDown() override {
    EXPECT_EQ(0, g_live.load()) << "buffers left behind";
    EXPECT_TRUE(AllThreadsEnded());
    for (HANDLE h : g_threads) ::CloseHandle(h);
    g_threads.clear();
    g_onAllocation = nullptr;
    FileSetRun::s_pfnCreateThread = ::CreateThread;
    FileSetRun::s_pfnAllocate = [](SIZE_T n) { return ::HeapAlloc(::GetProcessHeap(), 0, n); };
    FileSetRun::s_pfnFree = [](void* p, SIZE_T) { ::HeapFree(::GetProcessHeap(), 0, p); };
    FileSetRun::s_nDigestThreads = 0;
  }
  static bool AllThreadsEnded() {
    for (HANDLE h : g_threads) {
      if (::WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return false;
    }
    return true;
  }
};

// Sizes around the heap's and the pieces' boundaries.
const size_t kSizes[] = {0, 1, 4095, 65535, 65536, 65537, 1048575, 1048576, 1048577, 2097153, 7};

// Every entry from one read of each file gives what HashFile gives, and so
// does one entry a task, on one, two and five digest threads and in line.
TEST_F(FileSetTest, EveryEntryAsHashFile) {
  const std::string data = Pattern(2097153);
  std::vector<std::unique_ptr<TempFile>> files;
  std::vector<std::vector<std::string>> expected;
  for (size_t size : kSizes) {
    files.emplace_back(new TempFile("set-" + std::to_string(size), data.substr(0, size)));
    ASSERT_TRUE(files.back()->Written());
    expected.emplace_back();
    for (UINT entry = 0; entry < kAlgorithmCount; ++entry)
      expected.back().push_back(FileDigest(entry, files.back()->Path()));
  }
  for (unsigned nThreads : {1u, 2u, 5u, 0u}) {
    FileSetRun::s_nDigestThreads = nThreads == 0 ? 2 : nThreads;
    FileSetRun::s_pfnCreateThread = nThreads == 0 ? NoThread : RecordedThread;
    std::vector<FileSetTask> all, one;
    for (size_t i = 0; i < files.size(); ++i) {
      all.push_back({files[i]->Path(), AllEntries(), kSizes[i]});
      for (UINT entry = 0; entry < kAlgorithmCount; ++entry)
        one.push_back({files[i]->Path(), {entry}, kUnknown});
    }
    // One entry a task on two threads and in line: the others only change
    // how the files are shared out.
    if (nThreads != 2 && nThreads != 0) one.clear();
    Recorder whole(all), single(one);
    std::atomic<int> stop{0};
    ASSERT_TRUE(RunAll(whole, stop));
    ASSERT_TRUE(RunAll(single, stop));
    ASSERT_EQ(Sequence(all.size()), whole.order);
    ASSERT_EQ(Sequence(one.size()), single.order);
    for (size_t i = 0; i < files.size(); ++i) {
      EXPECT_EQ(0u, whole.results[i].dwError);
      EXPECT_EQ(kSizes[i], whole.results[i].qwSize);
      EXPECT_EQ(expected[i], whole.results[i].digests) << "size " << kSizes[i];
      for (UINT entry = 0; entry < kAlgorithmCount && !one.empty(); ++entry) {
        const FileSetResult& result = single.results[i * kAlgorithmCount + entry];
        ASSERT_EQ(1u, result.digests.size());
        EXPECT_EQ(expected[i][entry], result.digests[0])
            << CatalogueEntryAt(entry)->pszName << ", size " << kSizes[i] << ", " << nThreads
            << " threads";
      }
    }
    for (const auto& file : files) EXPECT_TRUE(file->IsFree());
    // The bar ends full, at the bytes of the set, counted ahead or not.
    for (Recorder* recorder : {&whole, &single}) {
      if (recorder->Size() == 0) continue;
      ASSERT_FALSE(recorder->reports.empty());
      const FileSetProgress& last = recorder->reports.back();
      EXPECT_EQ(last.qwTotal, last.qwDone);
      EXPECT_EQ(recorder->Size(), last.nDelivered);
    }
    EXPECT_EQ(whole.Counted(), whole.reports.back().qwTotal);
    if (!one.empty()) {
      EXPECT_EQ(whole.Counted() * kAlgorithmCount, single.reports.back().qwTotal);
    }
    EXPECT_EQ(nThreads == 0 ? 0u : nThreads * 2, g_threads.size());
    EXPECT_TRUE(AllThreadsEnded());
    for (HANDLE h : g_threads) ::CloseHandle(h);
    g_threads.clear();
  }
}

// Many small files hashed side by side come back in list order, failures
// among them in their places, whatever thread finished first.
TEST_F(FileSetTest, ManySmallFilesInListOrder) {
  FileSetRun::s_nDigestThreads = 4;
  std::vector<std::unique_ptr<TempFile>> files;
  std::vector<FileSetTask> tasks;
  std::vector<std::string> expected;
  ULONGLONG qwBytes = 0;
  for (size_t i = 0; i < 1000; ++i) {
    const size_t size = (i * 37) % 3000;
    if (i % 97 == 5) {
      tasks.push_back({TempPath("small-missing-" + std::to_string(i)), {kAlgorithmSHA256}, 10});
      expected.push_back("");
      continue;
    }
    // A slow entry now and then, so later files overtake earlier ones.
    const UINT entry = i % 10 == 0 ? kAlgorithmMD2 : kAlgorithmCRC32;
    files.emplace_back(new TempFile("small-" + std::to_string(i), Pattern(size + i).substr(i)));
    tasks.push_back({files.back()->Path(), {entry}, size});
    expected.push_back(Hasher(entry).HashString(Pattern(size + i).substr(i), "", 0, 0));
    qwBytes += size;
  }
  Recorder recorder(tasks);
  std::atomic<int> stop{0};
  ASSERT_TRUE(RunAll(recorder, stop));
  ASSERT_EQ(Sequence(tasks.size()), recorder.order);
  for (size_t i = 0; i < tasks.size(); ++i) {
    const FileSetResult& result = recorder.results[i];
    if (expected[i].empty()) {
      EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), result.dwError);
      EXPECT_TRUE(result.digests.empty());
    } else {
      EXPECT_EQ(0u, result.dwError);
      ASSERT_EQ(1u, result.digests.size()) << i;
      EXPECT_EQ(expected[i], result.digests[0]) << i;
    }
  }
  // The missing files' counted bytes left the total.
  EXPECT_EQ(qwBytes, recorder.reports.back().qwTotal);
  EXPECT_EQ(qwBytes, recorder.reports.back().qwDone);
  // Reports rise; the set is delivered as it goes, not all at the end.
  for (size_t i = 1; i < recorder.reports.size(); ++i) {
    EXPECT_LE(recorder.reports[i - 1].qwDone, recorder.reports[i].qwDone);
    EXPECT_LE(recorder.reports[i - 1].nDelivered, recorder.reports[i].nDelivered);
  }
}

// A set far larger than the bound: the buffers live at once never pass it,
// and the reader does run ahead of the hashing (the bound is what holds it).
TEST_F(FileSetTest, BuffersStayWithinTheBound) {
  const ULONGLONG kFile = 24ull << 20;
  std::vector<std::unique_ptr<TempFile>> files;
  std::vector<FileSetTask> tasks;
  for (int i = 0; i < 4; ++i) {
    files.emplace_back(new TempFile("bound-" + std::to_string(i), ""));
    const Stretch stretch = {kFile / 2, "not only zeros"};
    ASSERT_TRUE(MakeSparseFile(files.back()->Path(), kFile, &stretch, 1));
    // SHA3-512: slower than the reads, so the reader is held by the bound.
    tasks.push_back({files.back()->Path(), {kAlgorithmSHA3_512}, kFile});
  }
  // Small files behind them, each its own allocation.
  std::vector<std::unique_ptr<TempFile>> small;
  for (int i = 0; i < 200; ++i) {
    small.emplace_back(new TempFile("bound-small-" + std::to_string(i), Pattern(1000 + i)));
    tasks.push_back({small.back()->Path(), {kAlgorithmMD5}, kUnknown});
  }
  Recorder recorder(tasks);
  std::atomic<int> stop{0};
  ASSERT_TRUE(RunAll(recorder, stop));
  EXPECT_LE(g_peak.load(), static_cast<long long>(FileSetRun::kMaxBytesInFlight));
  EXPECT_GE(g_peak.load(), static_cast<long long>(FileSetRun::kMaxBytesInFlight) / 2);
  ASSERT_EQ(Sequence(tasks.size()), recorder.order);
  const std::string digest = FileDigest(kAlgorithmSHA3_512, files[0]->Path());
  for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(digest, recorder.results[i].digests.at(0));
  for (size_t i = 0; i < small.size(); ++i)
    EXPECT_EQ(FileDigest(kAlgorithmMD5, small[i]->Path()),
              recorder.results[files.size() + i].digests.at(0));
}

// Faults of single files: each is that file's code, and the files after it
// go on. A folder, a missing file and folder, a file held for writing, a
// device, an entry outside the catalogue; a task without entries is not
// opened at all; a path of 300+ characters is read.
TEST_F(FileSetTest, FaultsArePerFile) {
  const std::string data = Pattern(70000);
  TempFile good("fault-good", data);
  TempFile held("fault-held", data);
  DeepFile deep(TempPath("fault-deep"), "deep.bin", data);
  ASSERT_TRUE(deep.Made());
  HANDLE writer = ::CreateFileA(held.Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  char temp[MAX_PATH] = {};
  ::GetTempPathA(MAX_PATH, temp);
  const std::vector<UINT> sha = {kAlgorithmSHA256};
  const std::vector<FileSetTask> tasks = {
      {good.Path(), sha, data.size()},
      {TempPath("fault-missing"), sha, 5},
      {TempPath("fault-missing-folder\\x"), sha, kUnknown},
      {temp, sha, kUnknown},
      {held.Path(), sha, data.size()},
      {"NUL", sha, kUnknown},
      {good.Path(), {kAlgorithmSHA1, kAlgorithmCount}, kUnknown},
      {TempPath("fault-not-opened"), {}, 9},
      {deep.Path(), {kAlgorithmCRC32, kAlgorithmSHA256}, kUnknown},
      {good.Path(), sha, kUnknown},
  };
  const DWORD codes[] = {0,
                         ERROR_FILE_NOT_FOUND,
                         ERROR_PATH_NOT_FOUND,
                         ERROR_ACCESS_DENIED,
                         ERROR_SHARING_VIOLATION,
                         ERROR_NOT_SUPPORTED,
                         ERROR_INVALID_PARAMETER,
                         0,
                         0,
                         0};
  const std::string digest = FileDigest(kAlgorithmSHA256, good.Path());
  const std::vector<std::string> digests[] = {
      {digest}, {}, {}, {}, {}, {}, {}, {}, {FileDigest(kAlgorithmCRC32, good.Path()), digest},
      {digest}};
  Recorder recorder(tasks);
  std::atomic<int> stop{0};
  ASSERT_TRUE(RunAll(recorder, stop));
  ::CloseHandle(writer);
  ASSERT_EQ(Sequence(tasks.size()), recorder.order);
  for (size_t i = 0; i < tasks.size(); ++i) {
    EXPECT_EQ(codes[i], recorder.results[i].dwError) << "task " << i;
    EXPECT_EQ(digests[i], recorder.results[i].digests) << "task " << i;
  }
  // Only the bytes read count: the good file twice, the deep one once.
  EXPECT_EQ(3 * data.size(), recorder.reports.back().qwTotal);
  EXPECT_EQ(3 * data.size(), recorder.reports.back().qwDone);
  EXPECT_TRUE(good.IsFree());
}

// A file cut short while it is read (by another program on the host) gives
// ERROR_HANDLE_EOF, not the digest of its front; a file that another program
// opens without sharing while the run goes on gives the sharing violation.
// The files after them hash as ever.
TEST_F(FileSetTest, FileCutShortOrLockedMidRun) {
  const std::string data = Pattern(5 * 1048576 + 3);
  TempFile cut("cut-short", data);
  TempFile locked("locked-later", data);
  TempFile after("after-cut", data);
  // The second pooled buffer is asked for once the first piece of the cut
  // file is read: the file is open then, and shrinks under the reader.
  HANDLE locker = INVALID_HANDLE_VALUE;
  g_onAllocation = [&] {
    if (g_nAllocations.load() != 2) return;
    EXPECT_TRUE(ResizeFromHost(cut.Path(), 1048576 + 100));
    locker = ::CreateFileA(locked.Path(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  const std::vector<UINT> sha = {kAlgorithmSHA256};
  Recorder recorder({{cut.Path(), sha, data.size()},
                     {locked.Path(), sha, data.size()},
                     {after.Path(), sha, data.size()}});
  std::atomic<int> stop{0};
  ASSERT_TRUE(RunAll(recorder, stop));
  ASSERT_NE(INVALID_HANDLE_VALUE, locker);
  ::CloseHandle(locker);
  ASSERT_EQ(Sequence(3), recorder.order);
  EXPECT_EQ(DWORD(ERROR_HANDLE_EOF), recorder.results[0].dwError);
  EXPECT_TRUE(recorder.results[0].digests.empty());
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), recorder.results[1].dwError);
  EXPECT_TRUE(recorder.results[1].digests.empty());
  EXPECT_EQ(std::vector<std::string>{FileDigest(kAlgorithmSHA256, after.Path())},
            recorder.results[2].digests);
  // The cut file's front was hashed; the bar still ends full.
  EXPECT_EQ(recorder.reports.back().qwTotal, recorder.reports.back().qwDone);
  // (How far the reader got before the cut depends on how soon a buffer
  // came back.)
  EXPECT_LT(recorder.reports.back().qwTotal, 2 * data.size());
  EXPECT_GE(recorder.reports.back().qwTotal, data.size() + 1048576);
  EXPECT_TRUE(cut.IsFree());
}

// A set of slow files: a stop lands while they are being hashed.
struct SlowSet {
  SlowSet(int nFiles, ULONGLONG qwSize) {
    for (int i = 0; i < nFiles; ++i) {
      files.emplace_back(new TempFile("slow-" + std::to_string(i), ""));
      MakeSparseFile(files.back()->Path(), qwSize, nullptr, 0);
      tasks.push_back({files.back()->Path(), {kAlgorithmMD2}, qwSize});
    }
  }
  bool AllFree() const {
    for (const auto& file : files)
      if (!file->IsFree()) return false;
    return true;
  }
  std::vector<std::unique_ptr<TempFile>> files;
  std::vector<FileSetTask> tasks;
};

// A stop from inside each of the sink's calls: nothing is delivered after
// it, every thread has ended and every buffer is back when Run returns.
TEST_F(FileSetTest, StopFromTheSink) {
  TempFile small("stop-small", Pattern(3000));
  std::vector<FileSetTask> tasks(40, FileSetTask{small.Path(), {kAlgorithmSHA256}, 3000});
  SlowSet slow(2, 4 << 20);
  tasks.insert(tasks.begin() + 20, slow.tasks.begin(), slow.tasks.end());
  for (int where = 0; where < 3; ++where) {
    Recorder recorder(tasks);
    std::atomic<int> stop{0};
    size_t nAtStop = 0, nReportsAtStop = 0;
    auto stopNow = [&] {
      stop = 1;
      nAtStop = recorder.order.size();
      nReportsAtStop = recorder.reports.size();
    };
    if (where == 0) {
      recorder.onBegin = [&](size_t i) {
        if (i == 25) stopNow();
        return false;
      };
    } else if (where == 1) {
      recorder.onResult = [&](size_t i) {
        if (i == 7) stopNow();
      };
    } else {
      recorder.onProgress = [&] {
        if (!stop) stopNow();
      };
    }
    EXPECT_FALSE(RunAll(recorder, stop)) << where;
    EXPECT_EQ(nAtStop, recorder.order.size()) << where;
    EXPECT_EQ(nReportsAtStop, recorder.reports.size()) << where;
    EXPECT_EQ(Sequence(nAtStop), recorder.order) << where;
    EXPECT_TRUE(AllThreadsEnded());
    EXPECT_EQ(0, g_live.load());
    EXPECT_TRUE(small.IsFree() && slow.AllFree());
  }
}

struct StoppedRun {
  Recorder* pRecorder;
  std::atomic<int>* pStop;
  bool bResult = true;
  static DWORD WINAPI Proc(LPVOID p) {
    StoppedRun& run = *static_cast<StoppedRun*>(p);
    run.bResult = RunAll(*run.pRecorder, *run.pStop);
    return 0;
  }
};

// A stop from another thread, as the window's Stop: once while a result
// is being delivered (none follows it), once while a slow file is hashed
// (the run ends within a piece or so, not after the file).
TEST_F(FileSetTest, StopFromAnotherThread) {
  SlowSet slow(3, 64 << 20);
  for (bool blocking : {true, false}) {
    Recorder recorder(slow.tasks);
    std::atomic<int> stop{0};
    HANDLE hStopped = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<int> nReports{0};
    recorder.onProgress = [&] {
      if (nReports++ == 0 && blocking) ::WaitForSingleObject(hStopped, INFINITE);
    };
    StoppedRun run{&recorder, &stop};
    HANDLE thread = ::CreateThread(nullptr, 0, &StoppedRun::Proc, &run, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_TRUE(guitest::WaitUntil([&] { return nReports.load() != 0; }));
    stop = 1;
    const DWORD dwStored = ::GetTickCount();
    const int nSeen = nReports.load();
    ::SetEvent(hStopped);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 60000));
    // MD2 takes seconds for one of these files: the run did not finish it.
    // (The whole set takes MD2 many seconds.)
    EXPECT_LT(::GetTickCount() - dwStored, 5000u) << (blocking ? "blocking" : "free-running");
    EXPECT_FALSE(run.bResult);
    EXPECT_TRUE(recorder.order.empty());
    if (blocking) {
      EXPECT_EQ(1, nReports.load());
    } else {
      // At most the report under way when the flag was stored.
      EXPECT_LE(nReports.load(), nSeen + 1);
    }
    ::CloseHandle(thread);
    ::CloseHandle(hStopped);
    EXPECT_TRUE(slow.AllFree());
  }
}

// Threads and buffers that cannot be had: the run does with fewer threads
// (or none: in line), waits for the buffers it has, and gives a file
// ERROR_NOT_ENOUGH_MEMORY only when no buffer is in flight to wait for.
TEST_F(FileSetTest, ThreadsAndBuffersThatCannotBeHad) {
  const std::string data = Pattern(3 * 1048576 + 11);
  TempFile big("scarce-big", data);
  TempFile small("scarce-small", data.substr(0, 777));
  TempFile empty("scarce-empty", "");
  const std::vector<UINT> entries = {kAlgorithmSHA1, kAlgorithmBLAKE2b512};
  const std::vector<FileSetTask> tasks = {{big.Path(), entries, kUnknown},
                                          {small.Path(), entries, kUnknown},
                                          {empty.Path(), entries, kUnknown},
                                          {big.Path(), entries, kUnknown}};
  std::vector<std::vector<std::string>> expected;
  for (const FileSetTask& task : tasks) {
    expected.emplace_back();
    for (UINT entry : entries) expected.back().push_back(FileDigest(entry, task.strPath));
  }
  auto digestsOf = [](const Recorder& recorder) {
    std::vector<std::vector<std::string>> digests;
    for (const FileSetResult& result : recorder.results) digests.push_back(result.digests);
    return digests;
  };
  std::atomic<int> stop{0};

  // Four threads asked for, every other one refused: two do the work.
  FileSetRun::s_nDigestThreads = 4;
  FileSetRun::s_pfnCreateThread = EveryOtherThread;
  Recorder fewer(tasks);
  ASSERT_TRUE(RunAll(fewer, stop));
  EXPECT_EQ(expected, digestsOf(fewer));
  EXPECT_EQ(4, g_nThreadCalls);
  EXPECT_EQ(2u, g_threads.size());

  // The third buffer cannot be allocated, nor any after it: the first two
  // go round, for the large files and the small one.
  for (unsigned nThreads : {2u, 0u}) {
    FileSetRun::s_pfnCreateThread = nThreads == 0 ? NoThread : RecordedThread;
    g_nAllocations = 0;
    FileSetRun::s_pfnAllocate = [](SIZE_T n) {
      return g_nAllocations.load() >= 2 ? (++g_nAllocations, nullptr) : CountedAllocate(n);
    };
    Recorder scarce(tasks);
    ASSERT_TRUE(RunAll(scarce, stop));
    EXPECT_EQ(expected, digestsOf(scarce)) << nThreads;
  }

  // No buffer at all: the files that need one fail, the empty one does not.
  FileSetRun::s_pfnAllocate = NoMemory;
  Recorder none(tasks);
  ASSERT_TRUE(RunAll(none, stop));
  ASSERT_EQ(Sequence(tasks.size()), none.order);
  for (size_t i = 0; i < tasks.size(); ++i) {
    EXPECT_EQ(i == 2 ? 0u : DWORD(ERROR_NOT_ENOUGH_MEMORY), none.results[i].dwError) << i;
    EXPECT_EQ(i == 2 ? expected[i] : std::vector<std::string>(), none.results[i].digests) << i;
  }
  EXPECT_EQ(none.reports.back().qwTotal, none.reports.back().qwDone);
  EXPECT_TRUE(big.IsFree() && small.IsFree());
}

// A task can ask to be asked again once every earlier result is in (a
// search whose entry an earlier file may still fix); then it is.
TEST_F(FileSetTest, AskAgainAfterTheEarlierResults) {
  TempFile file("ask-again", Pattern(200000));
  const std::string digest = FileDigest(kAlgorithmSHA512, file.Path());
  std::vector<FileSetTask> tasks(60, FileSetTask{file.Path(), {kAlgorithmSHA512}, kUnknown});
  Recorder recorder(tasks);
  std::vector<size_t> deliveredAtSecondAsk;
  recorder.onBegin = [&](size_t i) {
    const bool bSecond =
        recorder.begun.size() >= 2 && recorder.begun[recorder.begun.size() - 2] == i;
    if (bSecond) deliveredAtSecondAsk.push_back(recorder.order.size());
    return i % 10 == 9 && !bSecond;
  };
  std::atomic<int> stop{0};
  ASSERT_TRUE(RunAll(recorder, stop));
  ASSERT_EQ(Sequence(60), recorder.order);
  EXPECT_EQ((std::vector<size_t>{9, 19, 29, 39, 49, 59}), deliveredAtSecondAsk);
  EXPECT_EQ(66u, recorder.begun.size());
  for (const FileSetResult& result : recorder.results)
    EXPECT_EQ(std::vector<std::string>{digest}, result.digests);
}

// The speed and time left beside the bar.
TEST(FileSetProgress, SpeedAndTimeLeft) {
  struct Case {
    ULONGLONG qwDone, qwTotal;
    DWORD dwElapsedMs;
    double dMiBPerSecond;
    DWORD dwSecondsLeft;
  };
  // clang-format off
  const Case cases[] = {
      {0,            100 << 20,   0,    0,   0},  // nothing yet
      {0,            100 << 20,   500,  0,   0},  // no speed to go by
      {10 << 20,     100 << 20,   1000, 10,  9},
      {50 << 20,     100 << 20,   2000, 25,  2},
      {100 << 20,    100 << 20,   4000, 25,  0},  // done
      {1ull << 40,   3ull << 40,  1000, 1048576, 2},  // beyond 32 bits
  };
  // clang-format on
  for (const Case& c : cases) {
    FileSetProgress progress;
    progress.qwDone = c.qwDone;
    progress.qwTotal = c.qwTotal;
    progress.dwElapsedMs = c.dwElapsedMs;
    EXPECT_DOUBLE_EQ(c.dMiBPerSecond, progress.MiBPerSecond()) << c.qwDone;
    EXPECT_EQ(c.dwSecondsLeft, progress.SecondsLeft()) << c.qwDone;
  }
}

}  // namespace
