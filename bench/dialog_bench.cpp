// What the dialog adds to a file job: the same file hashed by HashFile
// alone and by a job started with the real Start button, from the click to
// the result shown, for a few entries.
//
//   dialog_bench.exe --file PATH [--reps R]
//
// --reps: runs of each measurement, interleaved; the fastest counts
// (default 3), which keeps the noise of a shared machine out of the share.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/Hasher.h"
#include "framework/WinApp.h"
#include "tests/dialog/DialogDriver.h"

namespace {

CWinApp g_app("Vexorin");

double Now() {
  LARGE_INTEGER count, frequency;
  ::QueryPerformanceCounter(&count);
  ::QueryPerformanceFrequency(&frequency);
  return double(count.QuadPart) / double(frequency.QuadPart);
}

// One job through the dialog; returns the seconds from the click to the
// shown result, or a negative value if no digest was shown. The click is
// sent, so the worker exists when it returns; the driver's dialog keeps a
// handle on it, which makes the end of the job exact rather than polled.
double DialogJob(DialogDriver& driver, int nIndex, std::string* pResult) {
  driver.SelectAlgorithm(nIndex);
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

}  // namespace

int main(int argc, char** argv) {
  const char* pszPath = nullptr;
  int nReps = 3;
  for (int i = 1; i + 1 < argc; ++i) {
    if (!std::strcmp(argv[i], "--file")) pszPath = argv[i + 1];
    if (!std::strcmp(argv[i], "--reps")) nReps = std::max(1, std::atoi(argv[i + 1]));
  }
  if (pszPath == nullptr) {
    std::fprintf(stderr, "usage: dialog_bench.exe --file PATH [--reps R]\n");
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
  std::printf("%-10s %12s %12s %10s\n", "entry", "HashFile", "dialog job", "dialog");
  const UINT kEntries[] = {kAlgorithmCRC32, kAlgorithmMD5, kAlgorithmSHA256, kAlgorithmSHA3_256};
  int nFailures = 0;
  for (int e = 0; e < 4; ++e) {
    double dDirect = 1e30, dDialog = 1e30;
    for (int r = 0; r < nReps; ++r) {
      std::string direct, shown;
      dDirect = std::min(dDirect, DirectJob(kEntries[e], pszPath, &direct));
      const double d = DialogJob(driver, kEntries[e], &shown);
      if (d < 0 || shown != direct) {
        std::printf("%-10s the dialog showed \"%s\", HashFile gave \"%s\"\n",
                    CatalogueEntryAt(kEntries[e])->pszName, shown.c_str(), direct.c_str());
        ++nFailures;
        break;
      }
      dDialog = std::min(dDialog, d);
    }
    std::printf("%-10s %10.3f s %10.3f s %+9.2f%%\n", CatalogueEntryAt(kEntries[e])->pszName,
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
  return nFailures == 0 ? 0 : 1;
}
