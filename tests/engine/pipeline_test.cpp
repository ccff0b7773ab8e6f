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
    Hasher::s_pfnAllocateChunk = [](SIZE_T n) { return ::HeapAlloc(::GetProcessHeap(), 0, n); };
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
  // Four views of kChunksPerRead chunks, the last one short.
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
      reports.resize((failing - 1) * ChunkPipeline::kChunksPerRead);
      EXPECT_EQ(reports, receiver.m_reports) << "view " << failing;
      EXPECT_TRUE(m_threads.AllEnded());
      EXPECT_TRUE(file.IsFree());
    }
  }
}

int g_allocations = 0;
int g_failingAllocation = 0;
void* CountedAllocation(SIZE_T n) {
  if (++g_allocations == g_failingAllocation) return nullptr;
  return ::HeapAlloc(::GetProcessHeap(), 0, n);
}

TEST_F(Pipelined, TwoReadBuffersARunAndNoRunWithoutThem) {
  TempFile file("pipe-buffers.bin", Pattern(5 * 1048576 + 3));
  Hasher::s_pfnAllocateChunk = CountedAllocation;
  for (int failing : {0, 1, 2}) {
    m_threads.Clear();
    g_allocations = 0;
    g_failingAllocation = failing;
    Hasher hasher(18);
    Receiver receiver;
    const std::string result = Digest(hasher, file, receiver);
    if (failing == 0) {
      EXPECT_FALSE(result.empty());
      EXPECT_EQ(2, g_allocations) << "memory stays bounded: two buffers, whatever the size";
      EXPECT_EQ(6u, receiver.m_reports.size());
    } else {
      EXPECT_EQ("", result) << "allocation " << failing;
      EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), hasher.ErrorCode());
      EXPECT_TRUE(receiver.m_reports.empty());
      EXPECT_TRUE(m_threads.handles.empty()) << "no thread without its buffers";
    }
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
        ASSERT_TRUE(pipeline.Start(Hasher::s_pfnAllocateChunk));
        EXPECT_EQ(!noThread, pipeline.IsPrefetching());
        ChunkPipeline::Chunk chunk;
        while (seen.size() < leaveAfter * kChunk && pipeline.Next(&chunk)) {
          seen.append(reinterpret_cast<const char*>(chunk.pData), chunk.dwLength);
          EXPECT_EQ(seen.size(), chunk.qwPosition);
        }
        if (leaveAfter == 99) {
          EXPECT_FALSE(pipeline.Next(&chunk)) << "the end stays the end";
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
