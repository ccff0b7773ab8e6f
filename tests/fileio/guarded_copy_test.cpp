// The guarded copy: whole copies of readable memory, a clear code for pages
// that cannot be read, a thread that goes on normally afterwards, and many
// threads at once, each with its own guard.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fileio/GuardedCopy.h"
#include "fileio/MappedFileReader.h"
#include "tests/common/TempFile.h"

namespace {

// Two pages: the first readable and filled with the pattern, the second
// reserved only (the address exists, no page can come in).
class HalfReadable {
 public:
  HalfReadable() {
    SYSTEM_INFO info;
    ::GetSystemInfo(&info);
    m_nPage = info.dwPageSize;
    m_pBase = static_cast<BYTE*>(::VirtualAlloc(nullptr, 2 * m_nPage, MEM_RESERVE, PAGE_NOACCESS));
    if (m_pBase && ::VirtualAlloc(m_pBase, m_nPage, MEM_COMMIT, PAGE_READWRITE))
      for (size_t i = 0; i < m_nPage; ++i) m_pBase[i] = static_cast<BYTE>(PatternByte(i));
  }
  ~HalfReadable() {
    if (m_pBase) ::VirtualFree(m_pBase, 0, MEM_RELEASE);
  }
  HalfReadable(const HalfReadable&) = delete;
  HalfReadable& operator=(const HalfReadable&) = delete;

  const BYTE* Base() const { return m_pBase; }
  size_t Page() const { return m_nPage; }

 private:
  BYTE* m_pBase = nullptr;
  size_t m_nPage = 0;
};

// Work that needs a sane thread state: the stack, the FPU and the SSE unit.
double Sum(int n) {
  volatile double d = 0;
  for (int i = 1; i <= n; ++i) d = d + 1.0 / i;
  return d;
}

}  // namespace

TEST(GuardedCopy, CopiesReadableMemoryWhole) {
  const std::string source = Pattern(300000);
  for (size_t nCount : {size_t(0), size_t(1), size_t(4095), size_t(4096), size_t(300000)}) {
    std::vector<char> destination(nCount + 1, '\x55');
    EXPECT_EQ(GuardedCopy(destination.data(), source.data(), nCount), 0u) << nCount;
    EXPECT_EQ(std::string(destination.data(), nCount), source.substr(0, nCount)) << nCount;
    EXPECT_EQ(destination[nCount], '\x55') << nCount;
  }
}

TEST(GuardedCopy, UnreadablePagesGiveACodeAndTheThreadGoesOn) {
  HalfReadable memory;
  ASSERT_NE(memory.Base(), nullptr);
  const double dSum = Sum(1000);
  std::vector<BYTE> destination(2 * memory.Page());
  struct Case {
    size_t nOffset;  // from the base
    size_t nCount;
    bool bFails;
  };
  const size_t nPage = memory.Page();
  // clang-format off
  const Case cases[] = {
      {0,         nPage,       false},  // all readable
      {0,         nPage + 1,   true},   // one byte too far
      {nPage - 8, 64,          true},   // across the edge
      {nPage,     nPage,       true},   // none readable
      {100,       nPage - 100, false},  // readable again afterwards
  };
  // clang-format on
  // The three guarded reads: a copy, a touch of every page, and a caller's
  // own reading (a digest's update in the program).
  for (int way = 0; way < 3; ++way) {
    for (const Case& c : cases) {
      const BYTE* pSource = memory.Base() + c.nOffset;
      unsigned nSum = 0;
      auto add = [&] {
        for (size_t i = 0; i < c.nCount; ++i) nSum += pSource[i];
      };
      const DWORD dwError = way == 0   ? GuardedCopy(destination.data(), pSource, c.nCount)
                            : way == 1 ? GuardedTouch(pSource, c.nCount)
                                       : GuardedRead(pSource, c.nCount, add);
      if (c.bFails)
        EXPECT_TRUE(IsReadFailure(dwError))
            << way << ": " << c.nOffset << "+" << c.nCount << ": " << dwError;
      else
        EXPECT_EQ(dwError, 0u) << way << ": " << c.nOffset << "+" << c.nCount;
      EXPECT_EQ(Sum(1000), dSum);
      if (way == 2 && !c.bFails) {
        unsigned nExpected = 0;
        for (size_t i = 0; i < c.nCount; ++i) nExpected += PatternByte(c.nOffset + i) & 0xFF;
        EXPECT_EQ(nExpected, nSum) << c.nOffset << "+" << c.nCount;
      }
    }
  }
  EXPECT_EQ(std::memcmp(destination.data(), memory.Base() + 100, nPage - 100), 0);
}

TEST(GuardedCopy, EachThreadHasItsOwnGuard) {
  HalfReadable memory;
  ASSERT_NE(memory.Base(), nullptr);
  struct Worker {
    const HalfReadable* pMemory;
    int nIndex;
    int nWrong = 0;
    static DWORD WINAPI Run(LPVOID p) {
      Worker& w = *static_cast<Worker*>(p);
      const size_t nPage = w.pMemory->Page();
      std::vector<BYTE> destination(2 * nPage);
      for (int i = 0; i < 50; ++i) {
        // Odd workers fault on odd rounds, even ones on even rounds.
        const bool bFault = (i + w.nIndex) % 2 == 0;
        const size_t nCount = bFault ? nPage + 16 : nPage - 16;
        const DWORD dwError = GuardedCopy(destination.data(), w.pMemory->Base() + 8, nCount);
        if (bFault ? !IsReadFailure(dwError) : dwError != 0) ++w.nWrong;
        if (!bFault && std::memcmp(destination.data(), w.pMemory->Base() + 8, nCount) != 0)
          ++w.nWrong;
      }
      return 0;
    }
  };
  std::vector<Worker> workers(6);
  std::vector<HANDLE> threads;
  for (int i = 0; i < 6; ++i) {
    workers[i].pMemory = &memory;
    workers[i].nIndex = i;
    threads.push_back(::CreateThread(nullptr, 0, &Worker::Run, &workers[i], 0, nullptr));
    ASSERT_NE(threads.back(), nullptr);
  }
  EXPECT_EQ(::WaitForMultipleObjects(6, threads.data(), TRUE, 120000), WAIT_OBJECT_0);
  for (HANDLE h : threads) ::CloseHandle(h);
  for (const Worker& w : workers) EXPECT_EQ(w.nWrong, 0) << w.nIndex;
}

// A file cut short by the host while a reader has it mapped: the read of
// the pages that went away fails with the platform's code and the position
// stays, the pages before it still read.
TEST(MappedFileReaderShrinking, ReadOfVanishedPagesFails) {
  const std::string data = Pattern(3 * 1048576);
  TempFile file("shrinking.bin", data);
  ASSERT_TRUE(file.Written());
  MappedFileReader reader;
  ASSERT_TRUE(reader.Open(file.Path(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE));
  std::vector<char> buffer(1048576);
  ASSERT_EQ(reader.Read(buffer.data(), 1048576), 1048576u);
  if (!ResizeFromHost(file.Path(), 65536)) GTEST_SKIP() << "no host to cut the file from";
  EXPECT_EQ(reader.Read(buffer.data(), 1048576), 0u);
  EXPECT_TRUE(IsReadFailure(reader.LastError())) << reader.LastError();
  EXPECT_EQ(reader.Position(), 1048576u);
  // A view taken in place fails the same way, and holds nothing.
  MappedView view;
  EXPECT_EQ(reader.Take(1048576, &view), 0u);
  EXPECT_TRUE(IsReadFailure(reader.LastError())) << reader.LastError();
  EXPECT_EQ(view.Data(), nullptr);
  EXPECT_EQ(reader.Position(), 1048576u);
  reader.Seek(0);
  EXPECT_EQ(reader.Read(buffer.data(), 4096), 4096u);
  EXPECT_EQ(std::string(buffer.data(), 4096), data.substr(0, 4096));
  reader.Close();
}
