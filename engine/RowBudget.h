#pragma once

#include <cstddef>
#include <vector>

// Whether a list of rows may grow: a set too large for memory must end in
// a notice, not in an allocation failure the program does not catch. The
// builders of row lists ask before the list's storage grows; a no stops
// them with ERROR_NOT_ENOUGH_MEMORY and the rows dropped, so the memory is
// back for the notice.

// Whether nRows rows of nRowBytes each (plus the strings they own, taken as
// nRowBytes again) can be held when the list's storage grows to nCapacity:
// the address space and the commit the system has left must keep room for
// the old and the new storage at once, and a margin.
bool RowsFit(size_t nRows, size_t nCapacity, size_t nRowBytes);

// Test seam: the most rows any list may hold (no limit of its own in the
// program), so a test reaches "too large" without using up the machine.
extern size_t g_nRowLimit;

// Whether one more row may go into rows (asked before each push_back).
template <class Row>
bool RoomForOneMore(const std::vector<Row>& rows) {
  if (rows.size() >= g_nRowLimit) return false;
  if (rows.size() < rows.capacity()) return true;
  return RowsFit(rows.size() + 1, rows.empty() ? 1 : 2 * rows.size(), sizeof(Row));
}
