#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "engine/Catalogue.h"
#include "engine/FileRows.h"
#include "fileio/CriticalSection.h"

// Which entries a run computes for each row of a checksum file, and the
// verdict on what it computed. A line's entry comes from its tag or the
// checksum file's name (FileRow::nEntry); else from its digit count, with
// the candidates in the engine's order (CandidateEntries). For a digit
// count, the first file that matches fixes the entry for every later line
// of that count: those compute that one entry, so the search over all
// candidates runs only until one file has matched.
//
// Threads: every member may be called from any thread at any time (one
// lock inside); a run typically asks EntriesFor on its reader thread and
// calls Settle or Fail as each row's results come in.
class EntryChooser {
 public:
  EntryChooser() = default;
  virtual ~EntryChooser() = default;
  EntryChooser(const EntryChooser&) = delete;
  EntryChooser& operator=(const EntryChooser&) = delete;

  // The entries to compute for the row, likeliest first: its own entry;
  // else the entry that fixed its digit count; else every candidate of its
  // count (MD2 left out, as in the main window's search); for a not-listed
  // row without an entry, SetEntry. Empty for a row that needs no run or
  // whose digit count no entry has.
  std::vector<UINT> EntriesFor(const FileRow& row) const;

  // Settles a row from digests[i] of entries[i] (an empty text: not
  // computed). With an expected digest: Match with the first entry whose
  // digest equals it (which fixes its digit count, if that was open), else
  // No match with the first computed entry's digest; without one (hashing,
  // not-listed rows): Hashed with the first computed digest. Digests are
  // stored in lower case. Nothing computed leaves the row as it was.
  void Settle(FileRow* pRow, const std::vector<UINT>& entries,
              const std::vector<std::string>& digests);

  // Settles a row whose file could not be read: Missing for a listed file
  // or path that is not there (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND),
  // else Unreadable (rows to hash and not-listed rows always); dwError kept
  // for the tooltip.
  static void Fail(FileRow* pRow, DWORD dwError);

  // The entry for files no line names (their "Moved" test): the first
  // entry a row was settled with, else the first entry EntriesFor gave,
  // else kAlgorithmCount.
  UINT SetEntry() const;

 private:
  std::vector<UINT> Given(std::vector<UINT> entries) const;

  mutable CriticalSection m_lock;
  UINT m_fixed[2 * 64 + 1] = {};  // by digit count: 1 + the entry; 0 while open
  UINT m_nFirstSettled = kAlgorithmCount;
  mutable UINT m_nFirstGiven = kAlgorithmCount;
};
