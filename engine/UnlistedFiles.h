#pragma once

#include <windows.h>

#include <atomic>

#include "engine/FileRows.h"

// What the checksum file's folder holds that its lines do not name.

// Appends a "Not listed" row (nEntry kAlgorithmCount: the caller hashes it
// with EntryChooser::SetEntry) for every file under the set's folder that
// no row names (letter case aside), never the checksum file itself; links
// are not followed and not listed, a folder that cannot be listed is an
// Unreadable row. Rows named twice, refused rows and the order of existing
// rows are left alone; the new rows come last, in the walk's order. False
// when the folder cannot be listed, on *pStop (ERROR_CANCELLED) or when
// too many for memory (ERROR_NOT_ENOUGH_MEMORY): *pdwError, no row added.
bool AddUnlistedRows(FileSet* pSet, DWORD* pdwError, const std::atomic<int>* pStop = nullptr);

// After a run: a Not listed row whose digest equals a Missing row's
// expected digest (same entry, or same digit count where the Missing row's
// entry was left open) becomes Moved, its strReason the Missing row's name;
// that Missing row's strReason names where it went ("Moved to <name>").
// Each Missing row moves to one file at most: the first in list order.
// Linear in the rows (a hash index on the digests).
void MarkMoved(FileSet* pSet);
