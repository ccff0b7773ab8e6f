// Throughput of the engine against the bare hash objects, of each faster
// back end against Crypto++, and of the file path against the same bytes in
// memory.
//
//   bench.exe [--text-mib N] [--file PATH] [--only FIRST-LAST] [--reps R]
//             [--many 0|1] [--tables backends]
//
// --text-mib: size of the in-memory text (default 64).
// --file: a file (best already in the page cache) for the file table.
// --only: restrict to a range of entries, e.g. --only 12-16.
// --reps: runs of each measurement, interleaved; the fastest counts
// (default 3; fast entries repeat up to four times that for 3 s), which keeps
// the noise of a shared machine out of the ratios.
// --tables backends: only the table of the faster back ends against
// Crypto++ in memory.
// --many: with --file, the search's second pass (every other entry of a
// digit count over one read) against the same entries one after another
// (default 1).

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "engine/Catalogue.h"
#include "engine/DigestForms.h"
#include "engine/Hasher.h"
#include "fileio/MappedFileReader.h"

namespace {

using bench::MiBPerSecond;
using bench::Now;

template <class H>
void RawDigest(const std::string& text) {
  H hash;
  CryptoPP::byte digest[H::DIGESTSIZE];
  hash.Update(reinterpret_cast<const CryptoPP::byte*>(text.data()), text.size());
  hash.TruncatedFinal(digest, H::DIGESTSIZE);
}

// The bare hash class of each entry, read from the catalogue, or (with
// bReference) the library class it stands in for.
#define VEXORIN_RAW_ENTRY(TEXT, NAME, BYTES, DIGEST)                                          \
  case kAlgorithm##NAME:                                                                      \
    return bReference                                                                         \
               ? RawDigest<fast_digests::ReferenceOf<digest_forms::DIGEST::Hash>::type>(text) \
               : RawDigest<digest_forms::DIGEST::Hash>(text);
void Raw(UINT entry, const std::string& text, bool bReference = false) {
  using namespace digest_forms;
  switch (entry) {
    VEXORIN_CATALOGUE(VEXORIN_RAW_ENTRY, VEXORIN_RAW_ENTRY)
    default:
      return;
  }
}
#undef VEXORIN_RAW_ENTRY

// This thread's processor time in seconds: on a shared machine it leaves
// out the time other programs had the processor, which wall time does not.
double ThreadSeconds() {
  FILETIME created, ended, kernel, user;
  ::GetThreadTimes(::GetCurrentThread(), &created, &ended, &kernel, &user);
  return (ULARGE_INTEGER{{user.dwLowDateTime, user.dwHighDateTime}}.QuadPart +
          ULARGE_INTEGER{{kernel.dwLowDateTime, kernel.dwHighDateTime}}.QuadPart) /
         1e7;
}

// The entry's code in memory: the back end the catalogue names against
// Crypto++'s class, the choice of back end made by this table. Timed in
// processor time, four passes over the text per run.
void BackendTable(const std::string& text, UINT first, UINT last, int reps) {
  std::printf("\nBack end vs Crypto++ in memory, 4 x %zu MiB text, MiB per processor second\n",
              text.size() / 1048576);
  std::printf("%-19s %-10s %12s %12s %8s\n", "entry", "back end", "MiB/s", "Crypto++", "ratio");
  for (UINT entry = first; entry <= last; ++entry) {
    if (!std::strcmp(fast_digests::DigestLibrary(entry), "Crypto++")) continue;
    double fast = 1e30, library = 1e30;
    for (int rep = 0; rep < reps; ++rep) {
      for (int side = 0; side < 2; ++side) {
        const double t0 = ThreadSeconds();
        for (int pass = 0; pass < 4; ++pass) Raw(entry, text, (rep + side) % 2 != 0);
        double& best = (rep + side) % 2 != 0 ? library : fast;
        best = std::min(best, (ThreadSeconds() - t0) / 4);
      }
    }
    std::printf("%-19s %-10s %12.1f %12.1f %8.3f\n", CatalogueEntryAt(entry)->pszName,
                fast_digests::DigestLibrary(entry), MiBPerSecond(text.size(), fast),
                MiBPerSecond(text.size(), library), library / fast);
    std::fflush(stdout);
  }
}

// How many processors' worth of work this process gets now: two threads
// hashing at once against one alone. On a shared machine it is less than
// the processor count, and the second pass can only use what there is.
struct CapacityJob {
  const std::string* pText;
  static DWORD WINAPI Run(LPVOID p) {
    const CapacityJob* job = static_cast<const CapacityJob*>(p);
    Hasher(kAlgorithmSHA256).HashString(*job->pText, "", 0, 0);
    return 0;
  }
};

double CapacityNow() {
  const std::string text(64 * 1048576, 'x');
  CapacityJob job{&text};
  double one = 1e30, two = 1e30;
  for (int rep = 0; rep < 2; ++rep) {
    double t0 = Now();
    CapacityJob::Run(&job);
    one = std::min(one, Now() - t0);
    t0 = Now();
    HANDLE threads[2];
    for (HANDLE& thread : threads)
      thread = ::CreateThread(nullptr, 0, &CapacityJob::Run, &job, 0, nullptr);
    ::WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) ::CloseHandle(thread);
    two = std::min(two, Now() - t0);
  }
  return 2 * one / two;
}

// The second pass of a search for the digit counts whose sets are largest:
// the shared run against each candidate alone. Its goal: at most 1.15 times
// the larger of the slowest candidate alone and the candidates' sum spread
// over the processors.
void ManyTable(const char* path, int reps) {
  SYSTEM_INFO system;
  ::GetSystemInfo(&system);
  const double cores = system.dwNumberOfProcessors;
  std::printf(
      "\nSecond pass over one read (HashFileMany) vs the entries alone (HashFile), %u "
      "processors\n",
      static_cast<unsigned>(system.dwNumberOfProcessors));
  std::printf(
      "cap: how many times as fast two threads hashing at once ran as one, measured before each "
      "set;\nratio: many / max(slowest, sum / processors); ratio@cap: the same with cap for "
      "processors\n");
  std::printf("%-7s %-60s %9s %9s %9s %9s %5s %7s %9s\n", "digits", "entries", "many s",
              "slowest s", "sum s", "sum/cpu s", "cap", "ratio", "ratio@cap");
  for (size_t nDigits : {64, 128}) {
    // The first pass computed SHA2's entry of the length; the rest remain.
    std::vector<UINT> entries = CandidateEntries(nDigits, kAlgorithmCount, false);
    entries.erase(entries.begin());
    std::string names;
    std::vector<double> alone(entries.size(), 1e30);
    std::vector<std::string> aloneText(entries.size());
    double manyTime = 1e30;
    std::vector<std::string> manyText;
    const double capacity = CapacityNow();
    for (int rep = 0; rep < reps; ++rep) {
      for (size_t i = 0; i < entries.size(); ++i) {
        Hasher hasher(entries[i]);
        const double t0 = Now();
        aloneText[i] = hasher.HashFile(path, "", 0, 0, ProgressCallback());
        alone[i] = std::min(alone[i], Now() - t0);
      }
      Hasher hasher(entries[0]);
      const double t0 = Now();
      manyText = hasher.HashFileMany(path, "", 0, 0, entries, ProgressCallback());
      manyTime = std::min(manyTime, Now() - t0);
    }
    double slowest = 0, sum = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
      slowest = std::max(slowest, alone[i]);
      sum += alone[i];
      names += (i ? "," : "") + std::string(CatalogueEntryAt(entries[i])->pszName);
    }
    const double goal = std::max(slowest, sum / cores);
    const double goalNow = std::max(slowest, sum / std::max(1.0, std::min(cores, capacity)));
    std::printf("%-7zu %-60s %9.2f %9.2f %9.2f %9.2f %5.2f %7.3f %9.3f%s\n", nDigits, names.c_str(),
                manyTime, slowest, sum, sum / cores, capacity, manyTime / goal, manyTime / goalNow,
                manyText == aloneText ? "" : "  MISMATCH");
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  size_t textMiB = 64;
  const char* path = nullptr;
  UINT first = 0, last = kAlgorithmCount - 1;
  int reps = 3;
  int many = 1;
  bool backendsOnly = false;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--text-mib")) textMiB = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--file")) path = argv[i + 1];
    if (!std::strcmp(argv[i], "--reps")) reps = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--many")) many = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--tables")) backendsOnly = !std::strcmp(argv[i + 1], "backends");
    if (!std::strcmp(argv[i], "--only")) std::sscanf(argv[i + 1], "%u-%u", &first, &last);
  }
  if (last >= kAlgorithmCount) last = kAlgorithmCount - 1;

  if (textMiB != 0) {
    std::string text(textMiB * 1048576, '\0');
    for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>(i * 131 + (i >> 13));
    if (backendsOnly) {
      BackendTable(text, first, last, reps);
      return 0;
    }
    std::printf("HashString vs library object, %zu MiB text\n", textMiB);
    std::printf("%-19s %12s %12s %8s\n", "entry", "engine MiB/s", "raw MiB/s", "ratio");
    for (UINT entry = first; entry <= last; ++entry) {
      Hasher hasher(entry);
      double engine = 1e30, raw = 1e30;
      const double start = Now();
      for (int rep = 0; rep < reps || (rep < 4 * reps && Now() - start < 3.0); ++rep) {
        // Alternate which side goes first, so neither always pays for warming up.
        for (int side = 0; side < 2; ++side) {
          const double t0 = Now();
          if ((rep + side) % 2 == 0) {
            const std::string digest = hasher.HashString(text, "", 0, 0);
            engine = std::min(engine, Now() - t0);
          } else {
            Raw(entry, text);
            raw = std::min(raw, Now() - t0);
          }
        }
      }
      std::printf("%-19s %12.1f %12.1f %8.3f\n", CatalogueEntryAt(entry)->pszName,
                  MiBPerSecond(text.size(), engine), MiBPerSecond(text.size(), raw), raw / engine);
      std::fflush(stdout);
    }
    BackendTable(text, first, last, reps);
  }

  if (path) {
    std::string data;
    if (!bench::ReadWhole(path, &data)) {
      std::fprintf(stderr, "cannot read %s into memory (a string holds at most %zu bytes)\n", path,
                   data.max_size());
      return 1;
    }
    // What the file path costs on top of hashing: the reader alone (views
    // mapped and their pages brought in, as the job's prefetch does) and a
    // plain copy of the same bytes, which the job no longer makes.
    std::string chunk(Hasher::kChunkSize, '\0');
    double readerTime = 1e30, copyTime = 1e30;
    for (int rep = 0; rep < reps; ++rep) {
      double t0 = Now();
      MappedFileReader reader;
      if (reader.Open(path, GENERIC_READ, FILE_SHARE_READ)) {
        MappedView view;
        while (reader.Take(4 * Hasher::kChunkSize, &view) != 0) {
        }
      }
      readerTime = std::min(readerTime, Now() - t0);
      t0 = Now();
      for (size_t at = 0; at < data.size(); at += chunk.size()) {
        std::memcpy(&chunk[0], data.data() + at, std::min(chunk.size(), data.size() - at));
      }
      copyTime = std::min(copyTime, Now() - t0);
    }
    std::printf("\nReader alone %.1f MiB/s; copying alone %.1f MiB/s\n",
                MiBPerSecond(data.size(), readerTime), MiBPerSecond(data.size(), copyTime));
    std::printf("\nHashFile vs HashString on the same %zu bytes\n", data.size());
    std::printf("%-19s %12s %12s %8s\n", "entry", "file MiB/s", "memory MiB/s", "ratio");
    for (UINT entry = first; entry <= last; ++entry) {
      Hasher hasher(entry);
      double file = 1e30, memory = 1e30;
      std::string fromFile, fromMemory;
      const double start = Now();
      for (int rep = 0; rep < reps || (rep < 4 * reps && Now() - start < 3.0); ++rep) {
        for (int side = 0; side < 2; ++side) {
          const double t0 = Now();
          if ((rep + side) % 2 == 0) {
            fromFile = hasher.HashFile(path, "", 0, 0, ProgressCallback());
            file = std::min(file, Now() - t0);
          } else {
            fromMemory = hasher.HashString(data, "", 0, 0);
            memory = std::min(memory, Now() - t0);
          }
        }
      }
      std::printf("%-19s %12.1f %12.1f %8.3f%s\n", CatalogueEntryAt(entry)->pszName,
                  MiBPerSecond(data.size(), file), MiBPerSecond(data.size(), memory), memory / file,
                  fromFile == fromMemory ? "" : "  MISMATCH");
      std::fflush(stdout);
    }
  }
  if (path && many != 0) ManyTable(path, reps);
  return 0;
}
