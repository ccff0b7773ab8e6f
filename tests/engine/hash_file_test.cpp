#include <cryptopp/adler32.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/Hasher.h"
#include "fileio/MappedFileReader.h"
#include "tests/common/MapViewFailure.h"
#include "tests/common/TempFile.h"

namespace {

const UINT kEntries = 21;

// Collects the percentages of one run; can stop the run from inside a report.
class Receiver {
 public:
  void OnProgress(int percent) {
    m_reports.push_back(percent);
    if (m_pStopAfterFirst && m_reports.size() == 1) *m_pStopAfterFirst = 1;
  }
  std::vector<int> m_reports;
  std::atomic<int>* m_pStopAfterFirst = nullptr;
};

std::string FileDigest(UINT entry, const char* path, const std::string& key, int hmac, int upper,
                       std::vector<int>* reports = nullptr, DWORD* error = nullptr) {
  Hasher hasher(entry);
  Receiver receiver;
  const std::string text =
      hasher.HashFile(path, key, hmac, upper, ProgressCallback(&receiver, &Receiver::OnProgress));
  if (reports) *reports = receiver.m_reports;
  if (error) *error = hasher.ErrorCode();
  return text;
}

std::string StringDigest(UINT entry, const std::string& text, const std::string& key, int hmac,
                         int upper) {
  Hasher hasher(entry);
  return hasher.HashString(text, key, hmac, upper);
}

TEST(HashFile, SameTextAsStringForEveryEntry) {
  const size_t sizes[] = {0, 1, 1048575, 1048576, 1048577, 3000000};
  const std::string data = Pattern(3000000);
  std::vector<std::unique_ptr<TempFile>> files;
  for (size_t size : sizes) {
    files.emplace_back(new TempFile("same-" + std::to_string(size), data.substr(0, size)));
  }
  const std::string longKey(200, '\xA5');  // longer than every block
  for (UINT entry = 0; entry < kEntries; ++entry) {
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string text = data.substr(0, sizes[i]);
      DWORD error = 99;
      EXPECT_EQ(StringDigest(entry, text, "", 0, 0),
                FileDigest(entry, files[i]->Path(), "", 0, 0, nullptr, &error))
          << "entry " << entry << " size " << sizes[i];
      EXPECT_EQ(0u, error);
      EXPECT_EQ(StringDigest(entry, text, "key", 1, 1),
                FileDigest(entry, files[i]->Path(), "key", 1, 1))
          << "keyed, entry " << entry << " size " << sizes[i];
      if (entry >= 17 && (sizes[i] == 0 || sizes[i] == 1048577)) {
        EXPECT_EQ(StringDigest(entry, text, longKey, 3, 0),
                  FileDigest(entry, files[i]->Path(), longKey, 3, 0))
            << "long key, entry " << entry << " size " << sizes[i];
      }
    }
  }
  // The checksums never use the key; the empty file gives the empty digest.
  EXPECT_EQ("00000000", FileDigest(0, files[0]->Path(), "key", 1, 0));
  EXPECT_EQ("00000001", FileDigest(1, files[0]->Path(), "key", 1, 0));
  EXPECT_EQ(StringDigest(0, data, "", 0, 0), FileDigest(0, files[5]->Path(), "key", 1, 0));
  EXPECT_EQ(StringDigest(1, data, "", 0, 1), FileDigest(1, files[5]->Path(), "key", 1, 1));
}

TEST(HashFile, ProgressReports) {
  struct Case {
    size_t size;
    std::vector<int> reports;
  };
  const std::vector<Case> cases = {{3000000, {34, 69, 100}},
                                   {1048576, {100}},
                                   {1048577, {100, 100}},
                                   {150, {150}},
                                   {199, {199}},
                                   {9999, {101}},
                                   {99, {100}},
                                   {0, {}}};
  for (const Case& c : cases) {
    TempFile file("progress-" + std::to_string(c.size), Pattern(c.size));
    std::vector<int> reports;
    EXPECT_FALSE(FileDigest(7, file.Path(), "", 0, 0, &reports).empty());
    EXPECT_EQ(c.reports, reports) << "size " << c.size;
  }
  EXPECT_EQ(100u, Hasher::ProgressPercent(99, 99));
  EXPECT_EQ(100u, Hasher::ProgressPercent(0, 0));
  EXPECT_EQ(100u, Hasher::ProgressPercent(5ull << 32, 5ull << 32));
  EXPECT_EQ(50u, Hasher::ProgressPercent(5ull << 32, 5ull << 31));

  // An empty callback is skipped.
  TempFile file("progress-empty-callback", Pattern(2000000));
  Hasher hasher(14);
  EXPECT_EQ(StringDigest(14, Pattern(2000000), "", 0, 0),
            hasher.HashFile(file.Path(), "", 0, 0, ProgressCallback()));
}

TEST(HashFile, OpenFailures) {
  std::vector<int> reports;
  DWORD error = 0;
  EXPECT_EQ("", FileDigest(14, TempPath("missing.bin").c_str(), "", 0, 0, &reports, &error));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);
  EXPECT_TRUE(reports.empty());
  EXPECT_EQ("",
            FileDigest(14, TempPath("missing-folder\\x.bin").c_str(), "", 0, 0, &reports, &error));
  EXPECT_EQ(DWORD(ERROR_PATH_NOT_FOUND), error);

  TempFile file("held-for-writing.bin", "data");
  HANDLE writer = ::CreateFileA(file.Path(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ("", FileDigest(7, file.Path(), "", 0, 0, &reports, &error));
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), error);
  EXPECT_TRUE(reports.empty());
  ::CloseHandle(writer);

  // Index outside the catalogue: empty, no file touched, the code kept.
  Hasher hasher(21);
  hasher.m_dwError = 77;
  hasher.m_bStop = 1;
  EXPECT_EQ("", hasher.HashFile(file.Path(), "", 0, 0, ProgressCallback()));
  EXPECT_EQ(77u, hasher.ErrorCode());
  EXPECT_EQ(0, hasher.m_bStop.load());
}

TEST(HashFile, Stop) {
  const std::string data = Pattern(3000000);
  TempFile file("stop.bin", data);
  const std::string full = StringDigest(16, data, "k", 1, 0);
  Hasher hasher(16);

  // A stop stored before the run is cleared at entry.
  hasher.m_bStop = 1;
  Receiver before;
  EXPECT_EQ(full, hasher.HashFile(file.Path(), "k", 1, 0,
                                  ProgressCallback(&before, &Receiver::OnProgress)));
  EXPECT_EQ((std::vector<int>{34, 69, 100}), before.m_reports);

  // A stop from the first report ends the run before the second chunk.
  Receiver stopping;
  stopping.m_pStopAfterFirst = &hasher.m_bStop;
  EXPECT_EQ("", hasher.HashFile(file.Path(), "k", 1, 0,
                                ProgressCallback(&stopping, &Receiver::OnProgress)));
  EXPECT_EQ(0u, hasher.ErrorCode());
  EXPECT_EQ(1, hasher.m_bStop.load());
  EXPECT_EQ(std::vector<int>{34}, stopping.m_reports);
  EXPECT_TRUE(file.IsFree()) << "a stopped run closes the file";

  // The same Hasher runs in full again afterwards.
  Receiver after;
  EXPECT_EQ(full, hasher.HashFile(file.Path(), "k", 1, 0,
                                  ProgressCallback(&after, &Receiver::OnProgress)));
  EXPECT_EQ((std::vector<int>{34, 69, 100}), after.m_reports);
  EXPECT_EQ(0u, hasher.ErrorCode());
}

// A worker thread hashes while another thread stops it, as in the dialog.
struct WorkerJob {
  Hasher* pHasher;
  const char* path;
  std::string result;
  std::atomic<int> reports{0};
  HANDLE hFirstReport;
  HANDLE hStopStored;  // null: the report does not wait for the stop
  void OnProgress(int) {
    if (reports.fetch_add(1) == 0) {
      ::SetEvent(hFirstReport);
      if (hStopStored) ::WaitForSingleObject(hStopStored, INFINITE);
    }
  }
  static DWORD WINAPI Run(LPVOID p) {
    WorkerJob* job = static_cast<WorkerJob*>(p);
    job->result =
        job->pHasher->HashFile(job->path, "", 0, 0, ProgressCallback(job, &WorkerJob::OnProgress));
    return 0;
  }
};

TEST(HashFile, StopFromAnotherThread) {
  TempFile file("thread.bin", Pattern(8 * 1048576 + 17));
  for (bool blocking : {true, false}) {
    Hasher hasher(5);  // MD2: slow enough for the stop to land mid-run
    WorkerJob job;
    job.pHasher = &hasher;
    job.path = file.Path();
    job.hFirstReport = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    job.hStopStored = blocking ? ::CreateEventA(nullptr, TRUE, FALSE, nullptr) : nullptr;
    HANDLE thread = ::CreateThread(nullptr, 0, &WorkerJob::Run, &job, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(job.hFirstReport, 60000));
    hasher.m_bStop = 1;
    const int seen = job.reports.load();
    if (job.hStopStored) ::SetEvent(job.hStopStored);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 60000));
    EXPECT_EQ("", job.result) << (blocking ? "blocking" : "free-running");
    EXPECT_EQ(0u, hasher.ErrorCode());
    if (blocking) {
      EXPECT_EQ(1, job.reports.load());
    } else {
      // At most the chunk under way when the flag was stored is reported.
      EXPECT_LE(job.reports.load(), seen + 1);
    }
    ::CloseHandle(thread);
    ::CloseHandle(job.hFirstReport);
    if (job.hStopStored) ::CloseHandle(job.hStopStored);
  }
}

// Seams for failures that cannot be provoked on demand.
void* NoMemory(SIZE_T) { return nullptr; }
DWORD WINAPI SizeUnknown(HANDLE, LPDWORD) {
  ::SetLastError(ERROR_INVALID_FUNCTION);
  return INVALID_FILE_SIZE;
}

TEST(HashFile, FailuresAreNotDigests) {
  // Three views: reads take ChunkPipeline::kChunksPerRead chunks at a time.
  TempFile file("failures.bin", Pattern(9000000));
  std::vector<int> reports;
  DWORD error = 0;

  // A view that cannot be mapped part-way: no digest of the front part.
  {
    MapViewFailure failure(2, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ("", FileDigest(14, file.Path(), "", 0, 0, &reports, &error));
  }
  EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), error);
  // The four chunks of the first view were fed and reported, no more.
  EXPECT_EQ((std::vector<int>{11, 23, 34, 46}), reports);
  EXPECT_TRUE(file.IsFree());

  // No chunk buffer: a clear out-of-memory failure, no report.
  Hasher::s_pfnAllocateChunk = NoMemory;
  for (UINT entry : {0u, 7u, 18u}) {
    EXPECT_EQ("", FileDigest(entry, file.Path(), "key", 1, 0, &reports, &error));
    EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), error);
    EXPECT_TRUE(reports.empty());
  }
  Hasher::s_pfnAllocateChunk = [](SIZE_T n) { return ::HeapAlloc(::GetProcessHeap(), 0, n); };
  EXPECT_TRUE(file.IsFree());

  // A size that cannot be read is a failed open, not a 4 GiB file.
  MappedFileReader::s_pfnGetFileSize = SizeUnknown;
  EXPECT_EQ("", FileDigest(14, file.Path(), "", 0, 0, &reports, &error));
  MappedFileReader::s_pfnGetFileSize = ::GetFileSize;
  EXPECT_EQ(DWORD(ERROR_INVALID_FUNCTION), error);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(file.IsFree());

  // Everything back in place: the file hashes normally again.
  EXPECT_EQ(StringDigest(14, Pattern(9000000), "", 0, 0), FileDigest(14, file.Path(), "", 0, 0));
}

// Adler-32 of zeros needs no reading: each zero adds s1 to s2 and leaves s1.
struct Adler {
  unsigned long long s1 = 1, s2 = 0;
  void Zeros(unsigned long long n) { s2 = (s2 + (n % 65521) * s1) % 65521; }
  void Bytes(const std::string& b) {
    for (unsigned char c : b) {
      s1 = (s1 + c) % 65521;
      s2 = (s2 + s1) % 65521;
    }
  }
  std::string Text() const {
    char text[9];
    snprintf(text, sizeof(text), "%08lx", static_cast<unsigned long>((s2 << 16) | s1));
    return text;
  }
};

TEST(HashFile, BeyondFourGiB) {
  const ULONGLONG size = (4ull << 30) + 3 * 1048576 + 12345;
  const Stretch stretches[] = {
      {1000, "start"}, {(4ull << 30) - 3, "across the boundary"}, {size - 5, "tail!"}};
  TempFile file("big-hash.bin", "");
  ASSERT_TRUE(MakeSparseFile(file.Path(), size, stretches, 3));
  Adler expected;
  ULONGLONG at = 0;
  for (const Stretch& s : stretches) {
    expected.Zeros(s.offset - at);
    expected.Bytes(s.bytes);
    at = s.offset + s.bytes.size();
  }
  expected.Zeros(size - at);
  // The closed form agrees with the library on a small case.
  Adler small;
  small.Zeros(100000);
  small.Bytes("xyz");
  EXPECT_EQ(small.Text(), StringDigest(1, std::string(100000, '\0') + "xyz", "", 0, 0));

  std::vector<int> reports;
  DWORD error = 99;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(expected.Text(), FileDigest(1, file.Path(), "", 0, 0, &reports, &error));
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(0u, error);
  ASSERT_EQ(size / 1048576 + 1, reports.size());
  EXPECT_EQ(100, reports.back());
  printf("hashed %llu bytes in %.1f s\n", static_cast<unsigned long long>(size), seconds);
}

}  // namespace
