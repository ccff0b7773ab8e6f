#pragma once

#include <windows.h>

#include <string>

#include "engine/ChecksumWriter.h"

// The system's save dialog for a checksum file: opened on the proposed
// path (its folder and name), the two forms in its type list, GNU first.
// It asks before an existing file is replaced. False when the user
// cancelled or the dialog failed.
bool PickSavePath(HWND hOwner, const std::string& proposed, std::string* pPath,
                  ChecksumForm* pForm);
