// What the dialog adds to a file job: the same file hashed by HashFile
// alone and by a job started with the real Start button, from the click to
// the result shown, for a few entries. With --peers, a second table puts
// the dialog's file job for each entry next to other programs' speed on
// the same file and next to the library's speed in memory.
//
//   dialog_bench.exe --file PATH [--reps R] [--peers LIST [--only ENTRY,...]
//                    [--text-mib N] [--budget S]]
//
// --reps: runs of each measurement, interleaved; the fastest counts
// (default 3), which keeps the noise of a shared machine out of the share.
// --peers: a text file of lines "ENTRY PROGRAM MIB/S" (ENTRY as listed), the other
// programs' fastest runs on the same file (tools/bench.sh measures them).
// --only: the entries of the peer table by list text, e.g. --only SHA1,SHA2-256.
// --text-mib: size of the in-memory text taken from the front of the file
// (default 256). --budget: seconds after which an entry stops repeating
// (default 30; the slow entries then count one run).

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "engine/Catalogue.h"
#include "engine/FastDigests.h"
#include "engine/Hasher.h"
#include "framework/WinApp.h"
#include "tests/dialog/DialogDriver.h"

namespace {

CWinApp g_app("Vexorin");

using bench::MiBPerSecond;
using bench::Now;

// One job through the dialog; returns the seconds from the click to the
// shown result, or a negative value if no digest was shown. The click is
// sent, so the worker exists when it returns; the driver's dialog keeps a
// handle on it, which makes the end of the job exact rather than polled.
double ClickedJob(DialogDriver& driver, std::string* pResult);

double DialogJob(DialogDriver& driver, int nIndex, std::string* pResult) {
  driver.SelectAlgorithm(nIndex);
  return ClickedJob(driver, pResult);
}

// A job with a published digest in Expected: the entry selected first, so
// that the digest's search runs as it does for a user who pastes it.
double SearchJob(DialogDriver& driver, UINT nSelected, const std::string& expected,
                 std::string* pResult) {
  driver.SelectAlgorithm(nSelected);
  driver.SetText(IDC_EXPECTED, expected);
  const double dSeconds = ClickedJob(driver, pResult);
  driver.SetText(IDC_EXPECTED, "");
  return dSeconds;
}

double ClickedJob(DialogDriver& driver, std::string* pResult) {
  const int nBefore = driver.m_dialog.m_nThreadsStarted;
  const double dStart = Now();
  driver.Click(IDC_START);
  if (driver.m_dialog.m_nThreadsStarted == nBefore) return -1;
  ::WaitForSingleObject(driver.m_dialog.m_hLastWorker, INFINITE);
  const double dSeconds = Now() - dStart;
  *pResult = driver.Text(IDC_RESULT);
  return pResult->empty() ? -1 : dSeconds;
}

double DirectJob(int nIndex, const char* pszPath, std::string* pResult) {
  Hasher hasher(nIndex);
  const double dStart = Now();
  *pResult = hasher.HashFile(pszPath, "", 0, 0, ProgressCallback());
  return Now() - dStart;
}

struct Peer {
  std::string name;
  double dMiBs = 0;
};

// The catalogue index of a list text; kAlgorithmCount if there is none.
UINT EntryNamed(const char* pszName) {
  UINT n = 0;
  while (n < kAlgorithmCount && std::strcmp(CatalogueEntryAt(n)->pszName, pszName) != 0) ++n;
  return n;
}

// The fastest other program of each entry from the list tools/bench.sh
// writes: lines of the entry's list text, the program, and its MiB/s.
bool ReadPeers(const char* pszList, Peer* pPeers) {
  FILE* pFile = std::fopen(pszList, "r");
  if (!pFile) return false;
  char szLine[256];
  while (std::fgets(szLine, sizeof(szLine), pFile) != nullptr) {
    // entry|program|MiB/s: list texts may hold spaces.
    char* pszName = std::strchr(szLine, '|');
    char* pszSpeed = pszName != nullptr ? std::strchr(pszName + 1, '|') : nullptr;
    if (pszSpeed == nullptr) continue;
    *pszName++ = '\0';
    *pszSpeed++ = '\0';
    const char* szEntry = szLine;
    const char* szName = pszName;
    const double dMiBs = std::atof(pszSpeed);
    const UINT nEntry = EntryNamed(szEntry);
    if (nEntry == kAlgorithmCount) {
      std::fprintf(stderr, "no entry is called %s\n", szEntry);
      continue;
    }
    if (dMiBs > pPeers[nEntry].dMiBs) {
      pPeers[nEntry].name = szName;
      pPeers[nEntry].dMiBs = dMiBs;
    }
  }
  std::fclose(pFile);
  return true;
}

struct PeerOptions {
  const char* pszList = nullptr;
  bool bOnly[kAlgorithmCount] = {};  // all entries when none is set
  size_t nTextMiB = 256;
  double dBudget = 30;
};

// Each entry's file job through the dialog against the fastest other
// program and against HashString on the front of the same file.
int PeerTable(DialogDriver& driver, const char* pszPath, double dMiB, int nReps,
              const PeerOptions& options) {
  Peer peers[kAlgorithmCount];
  if (!ReadPeers(options.pszList, peers)) {
    std::fprintf(stderr, "cannot read %s\n", options.pszList);
    return 1;
  }
  std::string text;
  if (!bench::ReadWhole(pszPath, &text, ULONGLONG(options.nTextMiB) * 1048576)) {
    std::fprintf(stderr, "cannot read %zu MiB of %s into memory\n", options.nTextMiB, pszPath);
    return 1;
  }
  std::printf(
      "\nThe dialog's file job against the fastest other program on the same %.0f MiB "
      "file,\nand against HashString on %zu MiB in memory (MiB/s, fastest of up to %d)\n",
      dMiB, text.size() / 1048576, nReps);
  std::printf("%-19s %-10s %9s %9s %-18s %7s %9s %7s\n", "entry", "back end", "dialog", "peer",
              "(fastest peer)", "/peer", "memory", "/memory");
  int nFailures = 0;
  const bool bAll = std::find(options.bOnly, options.bOnly + kAlgorithmCount, true) ==
                    options.bOnly + kAlgorithmCount;
  for (unsigned e = 0; e < kAlgorithmCount; ++e) {
    if (!bAll && !options.bOnly[e]) continue;
    double dDialog = 1e30, dMemory = 1e30;
    const double dStart = Now();
    for (int r = 0; r < nReps && (r == 0 || Now() - dStart < options.dBudget); ++r) {
      std::string shown;
      const double d = DialogJob(driver, int(e), &shown);
      if (d < 0) {
        std::printf("%-19s the dialog showed no digest\n", CatalogueEntryAt(e)->pszName);
        ++nFailures;
        break;
      }
      dDialog = std::min(dDialog, d);
      Hasher hasher(e);
      const double t0 = Now();
      const std::string digest = hasher.HashString(text, "", 0, 0);
      dMemory = std::min(dMemory, Now() - t0);
    }
    const double dDialogMiBs = MiBPerSecond(dMiB * 1048576.0, dDialog);
    const double dMemoryMiBs = MiBPerSecond(double(text.size()), dMemory);
    if (peers[e].dMiBs > 0) {
      std::printf("%-19s %-10s %9.1f %9.1f %-18s %7.3f %9.1f %7.3f\n", CatalogueEntryAt(e)->pszName,
                  fast_digests::DigestLibrary(e), dDialogMiBs, peers[e].dMiBs,
                  peers[e].name.c_str(), dDialogMiBs / peers[e].dMiBs, dMemoryMiBs,
                  dDialogMiBs / dMemoryMiBs);
    } else {
      std::printf("%-19s %-10s %9.1f %9s %-18s %7s %9.1f %7.3f\n", CatalogueEntryAt(e)->pszName,
                  fast_digests::DigestLibrary(e), dDialogMiBs, "-", "(none)", "-", dMemoryMiBs,
                  dDialogMiBs / dMemoryMiBs);
    }
    std::fflush(stdout);
  }
  return nFailures;
}

}  // namespace

// The search for a published digest's entry: a first pass that matches
// against a plain job of that entry, and the second pass (the search job
// less its first pass) against the candidates' plain jobs.
int SearchTable(DialogDriver& driver, int nReps) {
  DWORD_PTR dwProcess = 0, dwSystem = 0;
  ::GetProcessAffinityMask(::GetCurrentProcess(), &dwProcess, &dwSystem);
  int nCores = 0;
  for (; dwProcess != 0; dwProcess &= dwProcess - 1) ++nCores;
  nCores = std::max(nCores, 1);
  auto fastest = [&](const std::function<double(std::string*)>& job, std::string* pResult) {
    double dBest = 1e30;
    for (int r = 0; r < nReps; ++r) dBest = std::min(dBest, job(pResult));
    return dBest;
  };
  int nFailures = 0;
  std::printf("\nThe entry found from Expected (%d processors)\n", nCores);
  std::string plain, matched;
  const double dPlain =
      fastest([&](std::string* p) { return DialogJob(driver, kAlgorithmSHA256, p); }, &plain);
  const double dMatch = fastest(
      [&](std::string* p) { return SearchJob(driver, kAlgorithmSHA256, plain, p); }, &matched);
  if (matched != plain) ++nFailures;
  std::printf("first pass that matches (SHA2-256): %.3f s, plain job %.3f s, %+.2f%% (goal 2%%)\n",
              dMatch, dPlain, 100.0 * (dMatch - dPlain) / dPlain);
  for (UINT nSelected : {UINT(kAlgorithmSHA256), UINT(kAlgorithmSHA512)}) {
    const size_t nDigits = CatalogueEntryAt(nSelected)->HexDigits();
    const std::vector<UINT> entries = CandidateEntries(nDigits, nSelected, false);
    std::vector<double> alone;
    double dSlowest = 0, dSum = 0;
    for (UINT nEntry : entries) {
      std::string result;
      alone.push_back(
          fastest([&](std::string* p) { return DialogJob(driver, nEntry, p); }, &result));
      std::printf("  %-20s alone %8.3f s\n", CatalogueEntryAt(nEntry)->pszName, alone.back());
      if (nEntry == entries.front()) continue;
      dSlowest = std::max(dSlowest, alone.back());
      dSum += alone.back();
    }
    std::string result;
    const double dSearch = fastest(
        [&](std::string* p) { return SearchJob(driver, nSelected, std::string(nDigits, '0'), p); },
        &result);
    const double dSecond = dSearch - alone.front();
    const double dBound = std::max(dSlowest, dSum / nCores);
    std::printf(
        "second pass, %zu digits, %zu entries: %.3f s (whole job %.3f s); bound %.3f s, "
        "%.2f x (goal 1.15 x)\n",
        nDigits, entries.size() - 1, dSecond, dSearch, dBound, dSecond / dBound);
  }
  std::fflush(stdout);
  return nFailures;
}

int main(int argc, char** argv) {
  const char* pszPath = nullptr;
  int nReps = 3;
  PeerOptions peers;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--file")) pszPath = argv[i + 1];
    if (!std::strcmp(argv[i], "--reps")) nReps = std::max(1, std::atoi(argv[i + 1]));
    if (!std::strcmp(argv[i], "--peers")) peers.pszList = argv[i + 1];
    if (!std::strcmp(argv[i], "--only")) {
      std::string names = std::string(argv[i + 1]) + ",";
      for (size_t at = 0, comma; (comma = names.find(',', at)) != std::string::npos;
           at = comma + 1) {
        const UINT nEntry = EntryNamed(names.substr(at, comma - at).c_str());
        if (nEntry < kAlgorithmCount) peers.bOnly[nEntry] = true;
      }
    }
    if (!std::strcmp(argv[i], "--text-mib"))
      peers.nTextMiB = std::strtoul(argv[i + 1], nullptr, 10);
    if (!std::strcmp(argv[i], "--budget")) peers.dBudget = std::atof(argv[i + 1]);
  }
  if (pszPath == nullptr) {
    std::fprintf(stderr, "usage: dialog_bench.exe --file PATH [--reps R] [--peers LIST ...]\n");
    return 2;
  }
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!::GetFileAttributesExA(pszPath, GetFileExInfoStandard, &data)) {
    std::fprintf(stderr, "cannot read %s (error %lu)\n", pszPath, ::GetLastError());
    return 1;
  }
  const double dMiB =
      (double(data.nFileSizeHigh) * 4294967296.0 + double(data.nFileSizeLow)) / 1048576.0;

  DialogDriver driver;
  driver.Click(IDC_FILE);
  driver.SetText(IDC_DATA, pszPath);

  std::printf("A file job through the dialog against HashFile alone (%.0f MiB, fastest of %d)\n",
              dMiB, nReps);
  std::printf("%-19s %12s %12s %10s\n", "entry", "HashFile", "dialog job", "dialog");
  const UINT kEntries[] = {kAlgorithmCRC32, kAlgorithmMD5, kAlgorithmSHA256, kAlgorithmSHA3_256};
  int nFailures = 0;
  for (int e = 0; e < 4; ++e) {
    double dDirect = 1e30, dDialog = 1e30;
    for (int r = 0; r < nReps; ++r) {
      std::string direct, shown;
      dDirect = std::min(dDirect, DirectJob(kEntries[e], pszPath, &direct));
      const double d = DialogJob(driver, kEntries[e], &shown);
      if (d < 0 || shown != direct) {
        std::printf("%-19s the dialog showed \"%s\", HashFile gave \"%s\"\n",
                    CatalogueEntryAt(kEntries[e])->pszName, shown.c_str(), direct.c_str());
        ++nFailures;
        break;
      }
      dDialog = std::min(dDialog, d);
    }
    std::printf("%-19s %10.3f s %10.3f s %+9.2f%%\n", CatalogueEntryAt(kEntries[e])->pszName,
                dDirect, dDialog, 100.0 * (dDialog - dDirect) / dDirect);
  }
  // For reference: what the reports of one such job cost by themselves,
  // sent from this thread the way the worker sends them.
  HWND hBar = driver.Item(IDC_PROGRESS);
  const int nReports = int(dMiB + 0.5);
  double dReports = 1e30;
  for (int r = 0; r < nReps; ++r) {
    const double dStart = Now();
    for (int i = 1; i <= nReports; ++i) ::SendMessageA(hBar, PBM_SETPOS, i * 100 / nReports, 0);
    dReports = std::min(dReports, Now() - dStart);
  }
  std::printf("%d progress reports alone: %.3f s\n", nReports, dReports);
  std::fflush(stdout);
  nFailures += SearchTable(driver, nReps);
  if (peers.pszList) nFailures += PeerTable(driver, pszPath, dMiB, nReps, peers);
  return nFailures == 0 ? 0 : 1;
}
