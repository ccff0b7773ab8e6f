#pragma once

#include <windows.h>

#include "engine/FileRows.h"

// Changes a list window makes to its set between runs.

// Hashing: every row whose file was or is to be read goes back to Pending
// for entry nEntry, its digest and error cleared, so a run computes it
// again. Refused rows and folders that could not be listed stay.
void ResetRowsForEntry(FileSet* pSet, UINT nEntry);

// Verifying: takes out the "Not listed" and "Moved" rows, and the notes
// "Moved to ..." that Missing rows got from them; the rows of the checksum
// file's lines stay as they are, in their order.
void DropUnlistedRows(FileSet* pSet);

// A copy of the set with what AddUnlistedRows reads of it (the folder, the
// checksum file and each row's name and result), and nothing else, so that
// the unlisted files can be found while the set itself is being shown.
FileSet NamesOnly(const FileSet& set);
