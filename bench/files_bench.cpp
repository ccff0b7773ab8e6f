// Verifies a tree from its checksum file through the engine, as the list
// window will: the file's lines read, then one FileSetRun over the files
// they name. For tools/bench-files.sh; figures, not a test.
//
//   files_bench.exe --sums PATH [--reps R] [--mode run|hashfile]
//                   [--threads N]
//
// --sums: a checksum file of GNU lines ("<digest>  <name>"), the names
// relative to its folder; the digest's length chooses the entry.
// --reps: runs, the fastest counts (default 3).
// --mode: run (default): FileSetRun; hashfile: Hasher::HashFile on one file
// after another, the one-file job's path, for comparison.
// --threads: digest threads of the run (default: one per processor).
// Prints one line: seconds, files/s, MiB/s, and what was found.

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "engine/Catalogue.h"
#include "engine/FileSetRun.h"
#include "engine/Hasher.h"

namespace {

struct Line {
  std::string digest;
  std::string name;
};

bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// GNU lines only: "<hex>  <name>" or "<hex> *<name>", LF or CRLF.
bool ReadSums(const char* path, std::vector<Line>* lines) {
  std::string text;
  if (!bench::ReadWhole(path, &text)) return false;
  lines->clear();
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t n = 0;
    while (n < line.size() && IsHex(line[n])) ++n;
    if (n == 0 || n + 2 > line.size() || line[n] != ' ') continue;
    Line parsed;
    for (size_t i = 0; i < n; ++i) parsed.digest += static_cast<char>(::tolower(line[i]));
    parsed.name = line.substr(n + 2);
    for (char& c : parsed.name)
      if (c == '/') c = '\\';
    lines->push_back(parsed);
  }
  return true;
}

UINT EntryOfDigits(size_t nDigits) {
  switch (nDigits) {
    case 8:
      return kAlgorithmCRC32;
    case 32:
      return kAlgorithmMD5;
    case 40:
      return kAlgorithmSHA1;
    case 128:
      return kAlgorithmSHA512;
    default:
      return kAlgorithmSHA256;
  }
}

struct Tally {
  size_t nMatch = 0, nNoMatch = 0, nUnreadable = 0;
  ULONGLONG qwBytes = 0;
  void Add(DWORD dwError, const std::string& digest, const std::string& expected,
           ULONGLONG qwSize) {
    if (dwError != 0) {
      ++nUnreadable;
      return;
    }
    ++(digest == expected ? nMatch : nNoMatch);
    qwBytes += qwSize;
  }
};

class BenchSink : public FileSetSink {
 public:
  BenchSink(const std::string& folder, const std::vector<Line>& lines, UINT nEntry)
      : m_folder(folder), m_lines(lines), m_nEntry(nEntry) {}
  Answer Begin(size_t nIndex, FileSetTask* pTask) override {
    pTask->strPath = m_folder + m_lines[nIndex].name;
    pTask->entries.assign(1, m_nEntry);
    return kRead;
  }
  void Result(size_t nIndex, FileSetResult& result) override {
    tally.Add(result.dwError, result.digests.empty() ? std::string() : result.digests[0],
              m_lines[nIndex].digest, result.qwSize);
  }
  Tally tally;

 private:
  const std::string& m_folder;
  const std::vector<Line>& m_lines;
  const UINT m_nEntry;
};

// One verification, checksum file included; false when it cannot be read.
bool VerifyOnce(const char* sums, const std::string& mode, Tally* pTally) {
  std::vector<Line> lines;
  if (!ReadSums(sums, &lines) || lines.empty()) return false;
  const std::string path = sums;
  const size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const UINT nEntry = EntryOfDigits(lines[0].digest.size());
  if (mode == "hashfile") {
    Hasher hasher(nEntry);
    for (const Line& line : lines) {
      const std::string file = folder + line.name;
      const std::string digest = hasher.HashFile(file.c_str(), "", 0, 0, ProgressCallback());
      WIN32_FILE_ATTRIBUTE_DATA data = {};
      ::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data);
      pTally->Add(digest.empty() ? hasher.ErrorCode() : 0, digest, line.digest,
                  (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
    }
    return true;
  }
  std::atomic<int> stop{0};
  BenchSink sink(folder, lines, nEntry);
  FileSetRun run(stop);
  run.Run(lines.size(), 0, sink);
  *pTally = sink.tally;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* sums = nullptr;
  std::string mode = "run";
  int reps = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--sums")) sums = argv[i + 1];
    if (!std::strcmp(argv[i], "--reps")) reps = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--mode")) mode = argv[i + 1];
    if (!std::strcmp(argv[i], "--threads"))
      FileSetRun::s_nDigestThreads = static_cast<unsigned>(std::atoi(argv[i + 1]));
  }
  if (sums == nullptr) {
    std::fprintf(stderr, "usage: files_bench --sums PATH [--reps R] [--mode run|hashfile]\n");
    return 2;
  }
  double best = 1e30;
  Tally tally;
  for (int rep = 0; rep < (reps > 0 ? reps : 1); ++rep) {
    Tally one;
    const double t0 = bench::Now();
    if (!VerifyOnce(sums, mode, &one)) {
      std::fprintf(stderr, "files_bench: cannot read %s\n", sums);
      return 1;
    }
    const double seconds = bench::Now() - t0;
    if (seconds < best) best = seconds;
    tally = one;
  }
  const size_t nFiles = tally.nMatch + tally.nNoMatch + tally.nUnreadable;
  std::printf(
      "%.3f s %.0f files/s %.1f MiB/s (%zu files: %zu match, %zu no match, %zu unreadable)\n", best,
      nFiles / best, bench::MiBPerSecond(double(tally.qwBytes), best), nFiles, tally.nMatch,
      tally.nNoMatch, tally.nUnreadable);
  return tally.nNoMatch + tally.nUnreadable == 0 ? 0 : 1;
}
