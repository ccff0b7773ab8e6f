#include "engine/RowBudget.h"

#include <windows.h>

size_t g_nRowLimit = static_cast<size_t>(-1);

namespace {

// Room kept for the window, its notice and the run's buffers.
const ULONGLONG kMargin = 256ULL << 20;

}  // namespace

bool RowsFit(size_t nRows, size_t nCapacity, size_t nRowBytes) {
  if (nRows > g_nRowLimit) return false;
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof(status);
  if (!::GlobalMemoryStatusEx(&status)) return true;
  // While storage grows the old and the new array are held at once, and the
  // strings the rows own take about as much again.
  const ULONGLONG qwNeeded =
      static_cast<ULONGLONG>(nCapacity) * nRowBytes * 2 + static_cast<ULONGLONG>(nRows) * nRowBytes;
  return status.ullAvailVirtual > qwNeeded + kMargin &&
         status.ullAvailPageFile > qwNeeded + kMargin;
}
