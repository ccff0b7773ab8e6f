// The floor under a run over many small files: what Wine itself costs to
// open and close them in a plain loop, and to read them there with ReadFile
// or through a mapped view (the two ways a run could read a small file),
// and the calls the run's reader makes, in the same plain loop.
// For tools/bench-files.sh; figures, not a test.
//
//   open_floor.exe --sums PATH [--reps R]
//
// --sums: a checksum file of GNU lines naming the files, relative to its
// folder (only the names are used). --reps: runs of each loop, the fastest
// counts (default 3).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "fileio/MappedFileReader.h"

namespace {

std::vector<std::string> NamesOf(const char* sums) {
  std::vector<std::string> paths;
  std::string text;
  if (!bench::ReadWhole(sums, &text)) return paths;
  const std::string path = sums;
  const size_t slash = path.find_last_of("\\/");
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  size_t at = 0;
  while (at < text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(at, end - at);
    at = end + 1;
    const size_t gap = line.find(' ');
    if (gap == std::string::npos || gap + 2 > line.size()) continue;
    std::string name = line.substr(gap + 2);
    if (!name.empty() && name.back() == '\r') name.pop_back();
    for (char& c : name)
      if (c == '/') c = '\\';
    paths.push_back(folder + name);
  }
  return paths;
}

enum Loop { kOpenClose, kReadFile, kMapped, kRunCalls };

// One loop over every file; false when a file cannot be had.
bool RunLoop(Loop loop, const std::vector<std::string>& paths, std::vector<char>& buffer) {
  for (const std::string& path : paths) {
    if (loop == kMapped) {
      MappedFileReader reader;
      if (!reader.Open(path.c_str(), GENERIC_READ, FILE_SHARE_READ)) return false;
      while (reader.Read(buffer.data(), DWORD(buffer.size())) != 0) {
      }
      continue;
    }
    HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD dwRead = 0;
    if (loop == kRunCalls) {
      // What the run's reader asks of the system for a file it reads whole.
      LARGE_INTEGER size;
      if (::GetFileType(h) != FILE_TYPE_DISK || !::GetFileSizeEx(h, &size)) return false;
      for (LONGLONG left = size.QuadPart; left > 0; left -= dwRead) {
        const DWORD dwAsk = static_cast<DWORD>(std::min<LONGLONG>(left, buffer.size()));
        if (!::ReadFile(h, buffer.data(), dwAsk, &dwRead, nullptr) || dwRead == 0) break;
      }
    } else if (loop == kReadFile) {
      while (::ReadFile(h, buffer.data(), DWORD(buffer.size()), &dwRead, nullptr) && dwRead != 0) {
      }
    }
    ::CloseHandle(h);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const char* sums = nullptr;
  int reps = 3;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--sums")) sums = argv[i + 1];
    if (!std::strcmp(argv[i], "--reps")) reps = std::atoi(argv[i + 1]);
  }
  const std::vector<std::string> paths = sums ? NamesOf(sums) : std::vector<std::string>();
  if (paths.empty()) {
    std::fprintf(stderr, "usage: open_floor --sums PATH [--reps R]\n");
    return 2;
  }
  std::vector<char> buffer(1048576);
  const char* names[] = {"open+close", "open+ReadFile+close", "open+mapped view+close",
                         "open+type+size+ReadFile+close"};
  for (Loop loop : {kOpenClose, kReadFile, kMapped, kRunCalls}) {
    double best = 1e30;
    for (int rep = 0; rep < (reps > 0 ? reps : 1); ++rep) {
      const double t0 = bench::Now();
      if (!RunLoop(loop, paths, buffer)) {
        std::fprintf(stderr, "open_floor: a file cannot be read\n");
        return 1;
      }
      const double seconds = bench::Now() - t0;
      if (seconds < best) best = seconds;
    }
    std::printf("%s|%.3f|%.0f\n", names[loop], best, paths.size() / best);
  }
  return 0;
}
