#pragma once

#include <windows.h>

#include <cstddef>

// Copies bytes from memory whose pages may fail to come in: a mapped view of
// a file whose storage went away (a pulled disk, a dropped share, a file cut
// short by another program). A fault inside the source range ends the copy
// early instead of the process. Returns 0, or the Windows code of the fault
// (the in-page status mapped to a Windows code, else ERROR_READ_FAULT, or
// ERROR_NOACCESS for a page that cannot be read at all); the destination
// then holds an unknown part of the bytes. Any thread may call it.
DWORD GuardedCopy(void* pDestination, const void* pSource, size_t nCount);
