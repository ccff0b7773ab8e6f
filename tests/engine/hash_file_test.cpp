#include <cryptopp/adler32.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/ChunkPipeline.h"
#include "engine/Hasher.h"
#include "engine/ReportGate.h"
#include "fileio/MappedFileReader.h"
#include "tests/common/MapViewFailure.h"
#include "tests/common/TempFile.h"

namespace {

const UINT kEntries = kAlgorithmCount;

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

// The entries added for today's published digests against Python's hashlib
// and hmac (RFC 2104 with the hash's block length), as a string and as a
// file: keys shorter than, equal to, one longer than and over twice the
// block; the long message crosses a chunk boundary.
TEST(HashFile, StandardSha3AndBlake2AgainstPython) {
  const struct {
    UINT entry;
    size_t nKeyBytes;  // 0: plain
    bool bLongMessage;
    const char* digest;
  } cases[] = {
      {kAlgorithmFIPS_SHA3_224, 0, false,
       "d15dadceaa4d5d7bb3b48f446421d542e08ad8887305e28d58335795"},
      {kAlgorithmFIPS_SHA3_224, 3, false,
       "0e6f23338924eeaed72606c6a08702a40366b166c4c87b34e555b213"},
      {kAlgorithmFIPS_SHA3_224, 144, false,
       "b0dc43ccddaa65dd5b8f74f2dfb78a33eebc62b19f94b4e21b456b8a"},
      {kAlgorithmFIPS_SHA3_224, 145, false,
       "eaccd5a30083bc4e6856d740b45ddfaf2d0c4adcdce2f63652e99be5"},
      {kAlgorithmFIPS_SHA3_224, 295, false,
       "b3035199a1e4a8d163729e3fbc78eb4e6617ce36ae75852030c045c7"},
      {kAlgorithmFIPS_SHA3_224, 0, true,
       "55152166928d28e4e5b24bda096302e265303efe0e7b851a55e3faf3"},
      {kAlgorithmFIPS_SHA3_224, 145, true,
       "abfe57d146eb6c841d7d780af93339b3ec9f91950adebdd4955d4c99"},
      {kAlgorithmFIPS_SHA3_256, 0, false,
       "69070dda01975c8c120c3aada1b282394e7f032fa9cf32f4cb2259a0897dfc04"},
      {kAlgorithmFIPS_SHA3_256, 3, false,
       "82316bf0ecf5de58ceabf8c2a89f6552cf420885199534093d05ea73b7685fd5"},
      {kAlgorithmFIPS_SHA3_256, 136, false,
       "f68802bf5581b380a8e556831375768ab0515c2762c447b3739f245f259203c7"},
      {kAlgorithmFIPS_SHA3_256, 137, false,
       "ed7e612330c4cb7bffa80ad121ac3d708b354c91f3e0c389413e5abf6d75f9dd"},
      {kAlgorithmFIPS_SHA3_256, 279, false,
       "4fd049e9b7901cc94dcb2558fb4d8463ff4cf52ff58358c4a48412152bfc138e"},
      {kAlgorithmFIPS_SHA3_256, 0, true,
       "01645125c05565e934abf2d2841d12031ba4f8050922eabcf92b46e417292aab"},
      {kAlgorithmFIPS_SHA3_256, 137, true,
       "958de6f0467d1fdd7c5e325501018ed127997857fc36102e06552704bb12edcc"},
      {kAlgorithmFIPS_SHA3_384, 0, false,
       "7063465e08a93bce31cd89d2e3ca8f602498696e253592ed26f07bf7e703cf32"
       "8581e1471a7ba7ab119b1a9ebdf8be41"},
      {kAlgorithmFIPS_SHA3_384, 3, false,
       "564a25787250798683fc08acb4a4111aa50415014edd051f5ab8afc42d4aa24f"
       "b952dbb54557ac2b345d5fabf3910446"},
      {kAlgorithmFIPS_SHA3_384, 104, false,
       "8e5bce1f2b22af4bff5a72157dc990b149321fba0bd748c1c571283b4c08e697"
       "165915fbfa9874d6ec6e044ebd8f3a6d"},
      {kAlgorithmFIPS_SHA3_384, 105, false,
       "5740b2820596863dfa1fcba82446d7667f41b3ccf913466a2cf9a068f2ccff62"
       "618285c3fc347a25898afb3bee494487"},
      {kAlgorithmFIPS_SHA3_384, 215, false,
       "1f30f079cb03acebefb95e7b7265332a6bae6ae62a9058dd9f1e1adccadda20b"
       "86b2bc5821a156628daee39c2ef515f9"},
      {kAlgorithmFIPS_SHA3_384, 0, true,
       "08d801465e1914f51969aa4fd2a596eeded838a5c2ab27815ceae5890b45cbd6"
       "03c32a445a24f52ba86e622e624c12f4"},
      {kAlgorithmFIPS_SHA3_384, 105, true,
       "2a7264964c182689f86907ba3d75bec15ff7e7c83c4a5785cd216b034e3ea8e2"
       "27814014c609271e1f986b24a5a08143"},
      {kAlgorithmFIPS_SHA3_512, 0, false,
       "01dedd5de4ef14642445ba5f5b97c15e47b9ad931326e4b0727cd94cefc44fff"
       "23f07bf543139939b49128caf436dc1bdee54fcb24023a08d9403f9b4bf0d450"},
      {kAlgorithmFIPS_SHA3_512, 3, false,
       "ec5bbabd33ac8f76277544ea137e57c5755dc5b3ab3aac54fc2eb6804bdcde54"
       "eed9916d8d2671f944493bc1eb6b734413597f68ab031e1f46f80b9806801266"},
      {kAlgorithmFIPS_SHA3_512, 72, false,
       "92bcff50c52fbff035165652d1f8a6a8a2f64b3d4be2cd0c6e0a3873eecbb584"
       "f117ae4da105ab70cfc3ad38883b31f7b72fdc27f334568d10458b48a1247955"},
      {kAlgorithmFIPS_SHA3_512, 73, false,
       "aaa0cffeb0f9c32dd0e0ccf123aed42cd5743d029a842d56c6f3aa06094410d5"
       "eed2c7d819677afb1d74a48a095af1f144b8211ea3f287f77bf926a25ab65f4e"},
      {kAlgorithmFIPS_SHA3_512, 151, false,
       "5c74e3a2999a155f8cba459bc1ca14653ebc3b861572f17cc4116499bbe8109d"
       "52f9c421d540325332a6d23d1871bc178e7abba696036708fec179bda44f2fb8"},
      {kAlgorithmFIPS_SHA3_512, 0, true,
       "7210864293ab26c66b901e87ff0bc31f16b6168c8c2eb998a8f92d1a674ae71a"
       "263ef32c517684d256758d0b52d7a9f8660f7a696bddfb3f92864e22c7990b6d"},
      {kAlgorithmFIPS_SHA3_512, 73, true,
       "70a015b0e31695f6303b08372721ac57749cc8ceee39361b942d058388493a24"
       "f4c5eb6aba0460be6e0462f44aaccade85e0ed3dcdad65ff2e18427e71324e86"},
      {kAlgorithmBLAKE2b512, 0, false,
       "a8add4bdddfd93e4877d2746e62817b116364a1fa7bc148d95090bc7333b3673"
       "f82401cf7aa2e4cb1ecd90296e3f14cb5413f8ed77be73045b13914cdcd6a918"},
      {kAlgorithmBLAKE2b512, 3, false,
       "4d20979074b8e034eb9722b734dbcbcdfba5200f614512c58b33edf6d7545efc"
       "a3cfd1db63073b14c08dd230c19f8edf370338aa7cb312f7cc53638279170e1c"},
      {kAlgorithmBLAKE2b512, 128, false,
       "2e252d7ed7bd400693900541386ebc596f1ecac2c13392d457836739718091de"
       "20395d3e0f9d7c184f0ed7a7dac8054ef6202d196a28e56c035eebbfa3a1c91d"},
      {kAlgorithmBLAKE2b512, 129, false,
       "21ca435392e379d8c0d1d6c0a528598310492c66989fb483d408fec0063da55f"
       "fc34c6d3e8b196efb4b1d05ca485001810343a7088b4dbfc2bdd124b62ce14f6"},
      {kAlgorithmBLAKE2b512, 263, false,
       "92b54128d7019b404caab326450af6be9a49d882cca8b88fe348015ea5178c8d"
       "6fb45122b59ee5aaa8d5a1ee5bc81ad40b517a6f09316dd401fa96dc480bead5"},
      {kAlgorithmBLAKE2b512, 0, true,
       "0e9118b52f28ec008e6ec4ef7e5964fa27879dc34f607022916892bbfb9d3783"
       "23f0b4e13857097d7233b0a3aa27145426851837417ddecf7f42988f88c4ecc9"},
      {kAlgorithmBLAKE2b512, 129, true,
       "444ab9ed6e657c4604a7f2b9a7c475945e9c5ca3569ca5af34e401a96f297248"
       "37d95406917c3b1eed41e3597c85d9acdf04092cf65d30628558546d3b585ac6"},
      {kAlgorithmBLAKE2s256, 0, false,
       "606beeec743ccbeff6cbcdf5d5302aa855c256c29b88c8ed331ea1a6bf3c8812"},
      {kAlgorithmBLAKE2s256, 3, false,
       "0693848d1f63d9fd77a2ab0f81b45dfff5a5f76c689320ad5485dcb41ab5e3e8"},
      {kAlgorithmBLAKE2s256, 64, false,
       "380519e6e859955243e84c4fb0df382b6626c09dfb464b71fddb46249af11645"},
      {kAlgorithmBLAKE2s256, 65, false,
       "1c2755ccb2eaea397b22748560fc28e47b436ff0fca4f1bff08ca9653434be53"},
      {kAlgorithmBLAKE2s256, 135, false,
       "02c50f5a1b26b20c24327e747a61d32c6b7ed694e51179482d8d6f62555219fa"},
      {kAlgorithmBLAKE2s256, 0, true,
       "f0d6e3048f40c84f4557645862c9094c11d3b70c4789126c96533c85a324f2d0"},
      {kAlgorithmBLAKE2s256, 65, true,
       "6a038d992eda35aba0074829ddee07dcb193478e5ac912872b5b8764876fdb44"},
  };
  const std::string shortMessage = "The quick brown fox jumps over the lazy dog";
  const std::string longMessage = Pattern(1048577);
  TempFile shortFile("python-short", shortMessage), longFile("python-long", longMessage);
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(CatalogueEntryAt(c.entry)->pszName) + " key " +
                 std::to_string(c.nKeyBytes) + (c.bLongMessage ? " long" : " short"));
    std::string key;
    for (size_t i = 0; i < c.nKeyBytes; ++i) key.push_back(static_cast<char>(0x80 + i * 7));
    const int hmac = c.nKeyBytes != 0 ? 1 : 0;
    EXPECT_EQ(c.digest,
              StringDigest(c.entry, c.bLongMessage ? longMessage : shortMessage, key, hmac, 0));
    EXPECT_EQ(c.digest,
              FileDigest(c.entry, (c.bLongMessage ? longFile : shortFile).Path(), key, hmac, 0));
  }
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

  // What reaches the bar: a job's first report, then a move at most once a
  // gap (a tick count that wraps included), the last whatever the gap, and
  // no repeat.
  ReportGate gate;
  const DWORD t = 0xFFFFFFF0u;  // wraps 16 ms later
  struct Step {
    int percent;
    DWORD dwNow;
    bool bShown;
  };
  // clang-format off
  const Step steps[] = {
      {3,   t,                            true},   // the first
      {3,   t + 500,                      false},  // a repeat
      {4,   t + 1,                        false},  // too soon
      {5,   t + ReportGate::kGapMs,       true},   // a gap later, across the wrap
      {6,   t + ReportGate::kGapMs + 50,  false},
      {100, t + ReportGate::kGapMs + 51,  true},   // the last
      {150, t + ReportGate::kGapMs + 52,  true},   // a tiny file's
  };
  // clang-format on
  for (const Step& step : steps)
    EXPECT_EQ(step.bShown, gate.Admit(step.percent, step.dwNow)) << step.percent;
  gate.Reset();
  EXPECT_TRUE(gate.Admit(150, t + ReportGate::kGapMs + 53)) << "a new job's first";

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
  Hasher hasher(kAlgorithmCount);
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
DWORD WINAPI SizeUnknown(HANDLE, LPDWORD) {
  ::SetLastError(ERROR_INVALID_FUNCTION);
  return INVALID_FILE_SIZE;
}

TEST(HashFile, FailuresAreNotDigests) {
  // Three views: reads take ChunkPipeline::kChunksPerView chunks at a time.
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

// Runs of several entries over one read.

std::vector<std::string> ManyDigests(const std::vector<UINT>& entries, const char* path,
                                     const std::string& key, int hmac, int upper,
                                     std::vector<int>* reports = nullptr, DWORD* error = nullptr) {
  Hasher hasher(entries.empty() ? 0 : entries[0]);
  Receiver receiver;
  const std::vector<std::string> texts = hasher.HashFileMany(
      path, key, hmac, upper, entries, ProgressCallback(&receiver, &Receiver::OnProgress));
  if (reports) *reports = receiver.m_reports;
  if (error) *error = hasher.ErrorCode();
  return texts;
}

std::vector<UINT> EntriesWithDigits(size_t nDigits) {
  std::vector<UINT> entries;
  for (UINT entry = 0; entry < kEntries; ++entry)
    if (CatalogueEntryAt(entry)->HexDigits() == nDigits) entries.push_back(entry);
  return entries;
}

std::vector<size_t> DigitCounts() {
  std::vector<size_t> counts;
  for (UINT entry = 0; entry < kEntries; ++entry) {
    const size_t n = CatalogueEntryAt(entry)->HexDigits();
    if (std::find(counts.begin(), counts.end(), n) == counts.end()) counts.push_back(n);
  }
  return counts;
}

// Every entry gives in a shared run what it gives alone: the entries of
// each digit count together (the sets a search runs), then all at once,
// plain, keyed and in capitals, over files that end inside a chunk, on a
// chunk boundary and past the first read's chunks.
TEST(HashFileMany, SameAsAloneForEveryEntry) {
  const size_t sizes[] = {0, 1048576, ChunkPipeline::kChunksPerView * Hasher::kChunkSize + 5};
  for (size_t size : sizes) {
    TempFile file("many-" + std::to_string(size), Pattern(size));
    std::vector<std::vector<UINT>> sets;
    for (size_t nDigits : DigitCounts()) sets.push_back(EntriesWithDigits(nDigits));
    std::vector<UINT> all;
    for (UINT entry = 0; entry < kEntries; ++entry) all.push_back(entry);
    sets.push_back(all);
    for (const std::vector<UINT>& set : sets) {
      for (int keyed : {0, 1}) {
        const std::string key = keyed ? "many key" : "";
        std::vector<int> reports;
        DWORD error = 99;
        const std::vector<std::string> texts =
            ManyDigests(set, file.Path(), key, keyed, keyed, &reports, &error);
        ASSERT_EQ(set.size(), texts.size());
        EXPECT_EQ(0u, error);
        for (size_t i = 0; i < set.size(); ++i) {
          EXPECT_EQ(FileDigest(set[i], file.Path(), key, keyed, keyed), texts[i])
              << CatalogueEntryAt(set[i])->pszName << " of " << set.size() << ", size " << size
              << (keyed ? " keyed" : "");
        }
        // One report a chunk, rising, the last at 100.
        EXPECT_EQ((size + Hasher::kChunkSize - 1) / Hasher::kChunkSize, reports.size());
        EXPECT_TRUE(std::is_sorted(reports.begin(), reports.end()));
        if (!reports.empty()) {
          EXPECT_EQ(100, reports.back());
        }
        EXPECT_TRUE(file.IsFree());
      }
    }
  }
}

TEST(HashFileMany, StringsAsAlone) {
  const std::string text = Pattern(1000) + "\xC3\xA9";
  const std::vector<UINT> set = EntriesWithDigits(64);
  const std::vector<std::string> texts = Hasher::HashStringMany(text, "k", 1, 1, set);
  ASSERT_EQ(set.size(), texts.size());
  for (size_t i = 0; i < set.size(); ++i)
    EXPECT_EQ(StringDigest(set[i], text, "k", 1, 1), texts[i]) << set[i];
  EXPECT_TRUE(Hasher::HashStringMany(text, "", 0, 0, {}).empty());
  EXPECT_EQ(std::vector<std::string>(1), Hasher::HashStringMany(text, "", 0, 0, {kEntries}));
}

TEST(HashFileMany, BadEntriesTouchNoFile) {
  TempFile file("many-bad.bin", "data");
  DWORD error = 0;
  std::vector<int> reports;
  EXPECT_EQ(std::vector<std::string>(2),
            ManyDigests({7, kEntries}, file.Path(), "", 0, 0, &reports, &error));
  EXPECT_EQ(DWORD(ERROR_INVALID_PARAMETER), error);
  EXPECT_TRUE(reports.empty());
  EXPECT_TRUE(ManyDigests({}, file.Path(), "", 0, 0, &reports, &error).empty());
  EXPECT_EQ(0u, error);
  EXPECT_EQ(
      std::vector<std::string>(3),
      ManyDigests({14, 16, 18}, TempPath("many-missing.bin").c_str(), "", 0, 0, &reports, &error));
  EXPECT_EQ(DWORD(ERROR_FILE_NOT_FOUND), error);
}

TEST(HashFileMany, StopFromAReport) {
  const std::string data = Pattern(3000000);
  TempFile file("many-stop.bin", data);
  const std::vector<UINT> set = EntriesWithDigits(64);
  Hasher hasher(0);
  Receiver stopping;
  stopping.m_pStopAfterFirst = &hasher.m_bStop;
  EXPECT_EQ(std::vector<std::string>(set.size()),
            hasher.HashFileMany(file.Path(), "", 0, 0, set,
                                ProgressCallback(&stopping, &Receiver::OnProgress)));
  EXPECT_EQ(0u, hasher.ErrorCode());
  EXPECT_EQ(std::vector<int>{34}, stopping.m_reports);
  EXPECT_TRUE(file.IsFree());
  // The stop is cleared at entry: the next run is whole.
  Receiver after;
  const std::vector<std::string> texts = hasher.HashFileMany(
      file.Path(), "", 0, 0, set, ProgressCallback(&after, &Receiver::OnProgress));
  EXPECT_EQ(StringDigest(set.back(), data, "", 0, 0), texts.back());
  EXPECT_EQ((std::vector<int>{34, 69, 100}), after.m_reports);
}

// A caller's own stop flag (a job's stop request) is read beside m_bStop
// and never cleared: stored before a run, it stops the run before its
// first chunk, as one stored from a report stops it at the next.
TEST(HashFile, AnOuterStopIsNeverCleared) {
  const std::string data = Pattern(3000000);
  TempFile file("outer-stop.bin", data);
  const std::vector<UINT> set = EntriesWithDigits(64);
  for (bool bMany : {false, true}) {
    for (bool bFromAReport : {false, true}) {
      SCOPED_TRACE(std::string(bMany ? "HashFileMany" : "HashFile") +
                   (bFromAReport ? ", from a report" : ", before the run"));
      std::atomic<int> outer{bFromAReport ? 0 : 1};
      Hasher hasher(kAlgorithmSHA256);
      hasher.m_pOuterStop = &outer;
      Receiver receiver;
      if (bFromAReport) receiver.m_pStopAfterFirst = &outer;
      const ProgressCallback progress(&receiver, &Receiver::OnProgress);
      const std::string text =
          bMany ? hasher.HashFileMany(file.Path(), "", 0, 0, set, progress).front()
                : hasher.HashFile(file.Path(), "", 0, 0, progress);
      EXPECT_EQ("", text);
      EXPECT_EQ(0u, hasher.ErrorCode());
      EXPECT_EQ(bFromAReport ? std::vector<int>{34} : std::vector<int>(), receiver.m_reports);
      EXPECT_EQ(1, outer.load());
      EXPECT_EQ(0, hasher.m_bStop.load());
      EXPECT_TRUE(file.IsFree());
      // Without it the same Hasher runs in full.
      hasher.m_pOuterStop = nullptr;
      EXPECT_EQ(StringDigest(kAlgorithmSHA256, data, "", 0, 0),
                hasher.HashFile(file.Path(), "", 0, 0, ProgressCallback()));
    }
  }
}

// A second pass stopped by the user-interface thread, with MD2 (the slow
// one) among the digests.
struct ManyJob {
  Hasher hasher{0};
  const char* path = nullptr;
  std::vector<UINT> entries;
  std::vector<std::string> results;
  std::atomic<int> reports{0};
  HANDLE hFirstReport = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ~ManyJob() { ::CloseHandle(hFirstReport); }
  void OnProgress(int) {
    if (reports.fetch_add(1) == 0) ::SetEvent(hFirstReport);
  }
  static DWORD WINAPI Run(LPVOID p) {
    ManyJob* job = static_cast<ManyJob*>(p);
    job->results = job->hasher.HashFileMany(job->path, "", 0, 0, job->entries,
                                            ProgressCallback(job, &ManyJob::OnProgress));
    return 0;
  }
};

TEST(HashFileMany, StopFromAnotherThread) {
  TempFile file("many-thread.bin", Pattern(16 * 1048576 + 17));
  for (bool md2First : {true, false}) {
    ManyJob job;
    job.path = file.Path();
    job.entries = EntriesWithDigits(32);
    if (md2First)
      job.entries.insert(job.entries.begin(), kAlgorithmMD2);
    else
      job.entries.push_back(kAlgorithmMD2);
    HANDLE thread = ::CreateThread(nullptr, 0, &ManyJob::Run, &job, 0, nullptr);
    ASSERT_NE(nullptr, thread);
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(job.hFirstReport, 60000));
    job.hasher.m_bStop = 1;
    const int seen = job.reports.load();
    ASSERT_EQ(WAIT_OBJECT_0, ::WaitForSingleObject(thread, 60000));
    ::CloseHandle(thread);
    EXPECT_EQ(std::vector<std::string>(job.entries.size()), job.results);
    EXPECT_EQ(0u, job.hasher.ErrorCode());
    // A report already under way may land; none after that.
    EXPECT_LE(job.reports.load(), seen + 1);
    EXPECT_LT(job.reports.load(), 17);
    EXPECT_TRUE(file.IsFree());
  }
}

HANDLE WINAPI NoThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE, LPVOID, DWORD,
                       LPDWORD) {
  ::SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

// Every other digest thread cannot be made: those digests are fed in line.
HANDLE WINAPI EveryOtherThread(LPSECURITY_ATTRIBUTES a, SIZE_T s, LPTHREAD_START_ROUTINE f,
                               LPVOID p, DWORD c, LPDWORD id) {
  static int calls = 0;
  return ++calls % 2 ? NoThread(a, s, f, p, c, id) : ::CreateThread(a, s, f, p, c, id);
}

TEST(HashFileMany, FailuresAreNotDigests) {
  const std::string data = Pattern(9000000);
  TempFile file("many-failures.bin", data);
  const std::vector<UINT> sixtyFour = EntriesWithDigits(64);
  std::vector<std::string> expected;
  for (UINT entry : sixtyFour) expected.push_back(StringDigest(entry, data, "", 0, 0));
  std::vector<int> reports;
  DWORD error = 0;

  // A view that cannot be mapped part-way: no digest at all.
  {
    MapViewFailure failure(2, ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(std::vector<std::string>(sixtyFour.size()),
              ManyDigests(sixtyFour, file.Path(), "", 0, 0, &reports, &error));
  }
  EXPECT_EQ(DWORD(ERROR_NOT_ENOUGH_MEMORY), error);
  EXPECT_EQ((std::vector<int>{11, 23, 34, 46}), reports);
  EXPECT_TRUE(file.IsFree());
  {
    MapViewFailure failure(1, ERROR_FILE_INVALID);
    EXPECT_EQ(std::vector<std::string>(sixtyFour.size()),
              ManyDigests(sixtyFour, file.Path(), "", 0, 0, &reports, &error));
  }
  EXPECT_EQ(DWORD(ERROR_FILE_INVALID), error);
  EXPECT_TRUE(reports.empty());

  // No thread, or only some: the digests are fed in line, all correct.
  for (auto create : {&NoThread, &EveryOtherThread}) {
    Hasher::s_pfnCreateDigestThread = create;
    EXPECT_EQ(expected, ManyDigests(sixtyFour, file.Path(), "", 0, 0, &reports, &error));
    EXPECT_EQ(0u, error);
    EXPECT_EQ(9u, reports.size());
    Hasher::s_pfnCreateDigestThread = ::CreateThread;
  }
  ChunkPipeline::s_pfnCreateThread = NoThread;
  EXPECT_EQ(expected, ManyDigests(sixtyFour, file.Path(), "", 0, 0, &reports, &error));
  ChunkPipeline::s_pfnCreateThread = ::CreateThread;
  EXPECT_EQ(0u, error);
}

}  // namespace
