#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "engine/ChunkPipeline.h"
#include "engine/Hasher.h"
#include "fileio/MappedFileReader.h"
#include "tests/common/MapViewFailure.h"
#include "tests/common/TempFile.h"

namespace {

const DWORD kChunk = Hasher::kChunkSize;

// Thread creation seen by the tests: every prefetch thread is kept by a
// handle of the test's own, so its end can be checked after a run.
struct Threads {
  bool bFail = false;
  std::atomic<int>* pStopOnCreate = nullptr;  // stored just before the thread
  std::vector<HANDLE> handles;

  ~Threads() { Clear(); }
  void Clear() {
    for (HANDLE h : handles) ::CloseHandle(h);
    handles.clear();
  }
  bool AllEnded() const {
    for (HANDLE h : handles) {
      if (::WaitForSingleObject(h, 0) != WAIT_OBJECT_0) return false;
    }
    return true;
  }
};
Threads* g_pThreads = nullptr;

HANDLE WINAPI SeenCreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stack,
                               LPTHREAD_START_ROUTINE start, LPVOID param, DWORD flags,
                               LPDWORD id) {
  if (g_pThreads->pStopOnCreate) *g_pThreads->pStopOnCreate = 1;
  if (g_pThreads->bFail) {
    ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  HANDLE h = ::CreateThread(security, stack, start, param, flags, id);
  HANDLE mine = nullptr;
  if (h) {
    ::DuplicateHandle(::GetCurrentProcess(), h, ::GetCurrentProcess(), &mine, 0, FALSE,
                      DUPLICATE_SAME_ACCESS);
    g_pThreads->handles.push_back(mine);
  }
  return h;
}

// Installs the seam for one test and puts the real function back after it.
class Pipelined : public ::testing::Test {
 protected:
  void SetUp() override {
    g_pThreads = &m_threads;
    ChunkPipeline::s_pfnCreateThread = SeenCreateThread;
  }
  void TearDown() override {
    ChunkPipeline::s_pfnCreateThread = ::CreateThread;
    MappedFileReader::s_pfnMapViewOfFile = ::MapViewOfFile;
    MappedFileReader::s_pfnUnmapViewOfFile = ::UnmapViewOfFile;
    g_pThreads = nullptr;
  }
  Threads m_threads;
};

// The reports of one run and whether each came on the thread that ran it.
class Receiver {
 public:
  explicit Receiver(std::atomic<int>* pStop = nullptr, size_t nStopAfter = 0)
      : m_pStop(pStop), m_nStopAfter(nStopAfter) {}
  void OnProgress(int percent) {
    m_reports.push_back(percent);
    if (::GetCurrentThreadId() != m_dwThread) m_bForeignThread = true;
    if (m_pStop && m_reports.size() == m_nStopAfter) *m_pStop = 1;
  }
  std::vector<int> m_reports;
  bool m_bForeignThread = false;

 private:
  const DWORD m_dwThread = ::GetCurrentThreadId();
  std::atomic<int>* m_pStop;
  size_t m_nStopAfter;
};

std::string Digest(Hasher& hasher, const TempFile& file, Receiver& receiver) {
  return hasher.HashFile(file.Path(), "key", 1, 0,
                         ProgressCallback(&receiver, &Receiver::OnProgress));
}

// The percentages a run of a file of this size reports, from the chunk ends.
std::vector<int> ExpectedReports(ULONGLONG size) {
  std::vector<int> reports;
  for (ULONGLONG end = kChunk; end - kChunk < size; end += kChunk) {
    const ULONGLONG position = end < size ? end : size;
    reports.push_back(size < 100 ? 100 : int(position / (size / 100)));
  }
  return reports;
}

TEST_F(Pipelined, SameDigestsAndReportsWithAndWithoutThePrefetchThread) {
  const size_t sizes[] = {0, 150, 1048576, 1048577, 3000000, 5 * 1048576 + 3};
  const UINT entries[] = {0, 5, 14, 18};  // fast, slow, in between, Keccak
  const std::string data = Pattern(5 * 1048576 + 3);
  for (size_t size : sizes) {
    TempFile file("pipe-" + std::to_string(size), data.substr(0, size));
    for (UINT entry : entries) {
      const std::string expected = Hasher(entry).HashString(data.substr(0, size), "key", 1, 0);
      for (bool noThread : {false, true}) {
        m_threads.bFail = noThread;
        m_threads.Clear();
        Hasher hasher(entry);
        Receiver receiver;
        EXPECT_EQ(expected, Digest(hasher, file, receiver))
            << "entry " << entry << " size " << size << (noThread ? " in line" : "");
        EXPECT_EQ(0u, hasher.ErrorCode());
        EXPECT_EQ(ExpectedReports(size), receiver.m_reports) << "size " << size;
        EXPECT_FALSE(receiver.m_bForeignThread) << "reports come on the hashing thread";
        EXPECT_EQ(noThread ? 0u : 1u, m_threads.handles.size()) << "one prefetch thread a run";
        EXPECT_TRUE(m_threads.AllEnded()) << "the prefetch thread ends before the result";
      }
    }
  }
  EXPECT_EQ((std::vector<int>{34, 69, 100}), ExpectedReports(3000000));
  EXPECT_TRUE(ExpectedReports(0).empty());
}

TEST_F(Pipelined, StopBeforeTheFirstChunkGivesNoReport) {
  TempFile file("pipe-stop-first.bin", Pattern(3000000));
  for (bool noThread : {false, true}) {
    m_threads.bFail = noThread;
    m_threads.Clear();
    Hasher hasher(14);
    // The stop lands after HashFile cleared the flag, before any chunk.
    m_threads.pStopOnCreate = &hasher.m_bStop;
    Receiver receiver;
    EXPECT_EQ("", Digest(hasher, file, receiver)) << (noThread ? "in line" : "prefetched");
    EXPECT_EQ(0u, hasher.ErrorCode());
    EXPECT_EQ(1, hasher.m_bStop.load());
    EXPECT_TRUE(receiver.m_reports.empty());
    EXPECT_TRUE(m_threads.AllEnded());
    EXPECT_TRUE(file.IsFree());
    m_threads.pStopOnCreate = nullptr;
  }
}

TEST_F(Pipelined, StopMidRunSendsNoFurtherReport) {
  const std::string data = Pattern(5 * 1048576 + 3);
  TempFile file("pipe-stop-mid.bin", data);
  for (size_t stopAfter : {1u, 2u, 6u}) {
    m_threads.Clear();
    Hasher hasher(7);
    Receiver receiver(&hasher.m_bStop, stopAfter);
    const std::string result = Digest(hasher, file, receiver);
    if (stopAfter == 6) {
      // A stop from the last report is not seen: the run completes.
      EXPECT_EQ(Hasher(7).HashString(data, "key", 1, 0), result);
    } else {
      EXPECT_EQ("", result) << "stop after " << stopAfter;
    }
    EXPECT_EQ(0u, hasher.ErrorCode());
    EXPECT_EQ(stopAfter, receiver.m_reports.size());
    EXPECT_TRUE(m_threads.AllEnded()) << "stop after " << stopAfter;
    EXPECT_TRUE(file.IsFree()) << "stop after " << stopAfter;
    // The same Hasher then runs in full.
    Receiver again;
    EXPECT_EQ(Hasher(7).HashString(data, "key", 1, 0), Digest(hasher, file, again));
    EXPECT_EQ(ExpectedReports(data.size()), again.m_reports);
  }
}

TEST_F(Pipelined, ReadFailureMidRunFailsWithTheReadersCode) {
  // Four views of kChunksPerView chunks, the last one short.
  const ULONGLONG qwSize = 13 * 1048576 + 3;
  TempFile file("pipe-read-failure.bin", Pattern(qwSize));
  for (bool noThread : {false, true}) {
    for (int failing : {1, 2, 4}) {
      m_threads.bFail = noThread;
      m_threads.Clear();
      MapViewFailure failure(failing, ERROR_LOCK_VIOLATION);
      Hasher hasher(12);
      Receiver receiver;
      EXPECT_EQ("", Digest(hasher, file, receiver)) << "view " << failing;
      EXPECT_EQ(DWORD(ERROR_LOCK_VIOLATION), hasher.ErrorCode()) << "view " << failing;
      // Every chunk of the views before the failed one was fed and
      // reported, no other.
      std::vector<int> reports = ExpectedReports(qwSize);
      reports.resize((failing - 1) * ChunkPipeline::kChunksPerView);
      EXPECT_EQ(reports, receiver.m_reports) << "view " << failing;
      EXPECT_TRUE(m_threads.AllEnded());
      EXPECT_TRUE(file.IsFree());
    }
  }
}

// Views mapped and not yet let go, and the most there were at once.
std::atomic<int> g_liveViews{0};
std::atomic<int> g_mostViews{0};
LPVOID WINAPI CountedMap(HANDLE h, DWORD access, DWORD high, DWORD low, SIZE_T length) {
  LPVOID p = ::MapViewOfFile(h, access, high, low, length);
  if (p) {
    const int n = ++g_liveViews;
    if (n > g_mostViews) g_mostViews = n;
  }
  return p;
}
BOOL WINAPI CountedUnmap(LPCVOID p) {
  --g_liveViews;
  return ::UnmapViewOfFile(p);
}

TEST_F(Pipelined, ViewsStayBoundedAndAllGo) {
  // Ten views' worth: the pipeline holds at most kViews at once.
  const std::string data = Pattern(10 * ChunkPipeline::kChunksPerView * kChunk + 3);
  TempFile file("pipe-views.bin", data);
  MappedFileReader::s_pfnMapViewOfFile = CountedMap;
  MappedFileReader::s_pfnUnmapViewOfFile = CountedUnmap;
  for (bool bMany : {false, true}) {
    for (bool noThread : {false, true}) {
      m_threads.bFail = noThread;
      g_liveViews = 0;
      g_mostViews = 0;
      Hasher hasher(14);
      if (bMany) {
        const std::vector<UINT> entries = {14, 18, 22, 25};  // of 64 digits, slow and fast
        std::vector<std::string> expected;
        for (UINT entry : entries) expected.push_back(Hasher(entry).HashString(data, "", 0, 0));
        EXPECT_EQ(expected,
                  hasher.HashFileMany(file.Path(), "", 0, 0, entries, ProgressCallback()));
      } else {
        EXPECT_EQ(Hasher(14).HashString(data, "", 0, 0),
                  hasher.HashFile(file.Path(), "", 0, 0, ProgressCallback()));
      }
      EXPECT_EQ(0u, hasher.ErrorCode()) << (noThread ? "in line" : "prefetched");
      EXPECT_EQ(0, g_liveViews.load()) << (bMany ? "many" : "one");
      EXPECT_LE(g_mostViews.load(), int(ChunkPipeline::kViews)) << (bMany ? "many" : "one");
      EXPECT_GE(g_mostViews.load(), 1);
      EXPECT_TRUE(file.IsFree());
    }
  }
}

// A consumer may hold chunks of up to kViews views; DoneBeforeNext says
// when it must let some go, and one that holds on gets no more chunks
// (its run then fails short of the end) instead of waiting for ever.
TEST_F(Pipelined, HeldViewsLimitTheChunksInFlight) {
  const std::string data = Pattern(10 * ChunkPipeline::kChunksPerView * kChunk);
  TempFile file("pipe-held.bin", data);
  for (bool noThread : {false, true}) {
    m_threads.bFail = noThread;
    MappedFileReader reader;
    ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
    ChunkPipeline pipeline(reader, kChunk);
    pipeline.Start();
    ChunkPipeline::Chunk chunk;
    std::string seen;
    unsigned nTaken = 0;
    for (; nTaken < ChunkPipeline::kChunksInFlight; ++nTaken) {
      EXPECT_EQ(0u, pipeline.DoneBeforeNext()) << nTaken;
      ASSERT_TRUE(pipeline.Next(&chunk, 0)) << nTaken;
      seen.append(reinterpret_cast<const char*>(chunk.pData), chunk.dwLength);
    }
    // Every view is held: the oldest one's chunks must be done first.
    EXPECT_EQ(ChunkPipeline::kChunksPerView, pipeline.DoneBeforeNext());
    // The held chunks are still readable, in order.
    EXPECT_EQ(data.substr(0, seen.size()), seen);
    // Letting the first view go lets the next one in.
    ASSERT_TRUE(pipeline.Next(&chunk, ChunkPipeline::kChunksPerView));
    EXPECT_EQ(DWORD(kChunk), chunk.dwLength);
    EXPECT_EQ(ULONGLONG(ChunkPipeline::kChunksInFlight + 1) * kChunk, chunk.qwPosition);
    // Holding on past the limit ends the chunks.
    for (++nTaken; nTaken < ChunkPipeline::kChunksInFlight + ChunkPipeline::kChunksPerView;
         ++nTaken)
      ASSERT_TRUE(pipeline.Next(&chunk, ChunkPipeline::kChunksPerView)) << nTaken;
    EXPECT_FALSE(pipeline.Next(&chunk, ChunkPipeline::kChunksPerView));
    pipeline.Stop();
    EXPECT_LT(reader.Position(), reader.Size());
  }
  EXPECT_TRUE(m_threads.AllEnded());
}

// The file loses pages under the read, cut short from the host as a dropped
// share or another program would: whichever thread meets the lost pages (the
// one bringing them in, or a digest's reading them), the run fails with a
// read code and the program goes on.
struct Cutter {
  std::string path;
  int nReports = 0;
  bool bCut = false;
  void OnProgress(int) {
    if (++nReports == 1) bCut = ResizeFromHost(path, 65536);
  }
};

TEST_F(Pipelined, PagesLostUnderTheReadFailTheRun) {
  const std::vector<UINT> entries = {14, 18, 22, 25};
  for (bool bMany : {false, true}) {
    // Longer than the chunks the digests' threads may be lent while the
    // consumer waits for the cut, so some are read only after it.
    TempFile file("pipe-cut.bin", Pattern(2 * ChunkPipeline::kChunksInFlight * kChunk + 3));
    Cutter cutter{file.Path()};
    Hasher hasher(14);
    const ProgressCallback progress(&cutter, &Cutter::OnProgress);
    std::vector<std::string> results;
    if (bMany) {
      results = hasher.HashFileMany(file.Path(), "", 0, 0, entries, progress);
    } else {
      results.push_back(hasher.HashFile(file.Path(), "", 0, 0, progress));
    }
    if (!cutter.bCut) GTEST_SKIP() << "no host to cut the file from";
    EXPECT_EQ(std::vector<std::string>(results.size()), results) << (bMany ? "many" : "one");
    EXPECT_TRUE(IsReadFailure(hasher.ErrorCode())) << hasher.ErrorCode();
    // No progress after the lost pages: the cut came with the first report,
    // and only chunks the threads read while it was made may follow it.
    if (bMany) {
      EXPECT_LE(cutter.nReports, int(ChunkPipeline::kChunksInFlight) + 1);
    } else {
      EXPECT_EQ(1, cutter.nReports);
    }
    EXPECT_TRUE(m_threads.AllEnded());
    EXPECT_TRUE(file.IsFree());
  }
}

// The pipeline by itself: every byte once, in order, with its position,
// whether the consumer takes all chunks or leaves early.
TEST_F(Pipelined, ChunksCoverTheFileInOrder) {
  const std::string data = Pattern(4 * 1048576 + 77);
  TempFile file("pipe-direct.bin", data);
  for (bool noThread : {false, true}) {
    for (size_t leaveAfter : {0u, 1u, 3u, 99u}) {
      m_threads.bFail = noThread;
      m_threads.Clear();
      std::string seen;
      {
        MappedFileReader reader;
        ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ));
        ChunkPipeline pipeline(reader, kChunk);
        pipeline.Start();
        EXPECT_EQ(!noThread, pipeline.IsPrefetching());
        ChunkPipeline::Chunk chunk;
        unsigned nTaken = 0;
        while (seen.size() < leaveAfter * kChunk && pipeline.Next(&chunk, nTaken)) {
          ++nTaken;
          seen.append(reinterpret_cast<const char*>(chunk.pData), chunk.dwLength);
          EXPECT_EQ(seen.size(), chunk.qwPosition);
        }
        if (leaveAfter == 99) {
          EXPECT_FALSE(pipeline.Next(&chunk, nTaken)) << "the end stays the end";
          pipeline.Stop();
          EXPECT_EQ(data.size(), reader.Position());
        }
        // Leaving early: the destructor ends the thread on its own.
      }
      EXPECT_TRUE(m_threads.AllEnded());
      const size_t expected = leaveAfter == 99 ? data.size() : leaveAfter * kChunk;
      EXPECT_EQ(data.substr(0, expected), seen)
          << "leave after " << leaveAfter << (noThread ? " in line" : "");
      EXPECT_TRUE(file.IsFree());
    }
  }
}

}  // namespace
