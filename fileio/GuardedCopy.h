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

// Runs pfnRead(pContext), which reads from [pSource, pSource + nCount), under
// the same guard: a fault inside that range ends the call early with its
// code, as GuardedCopy's does. pfnRead must hold nothing that needs undoing
// (no lock, no allocation, no object with a destructor of its frames'): an
// ended call leaves only its partial results, which the caller discards.
DWORD GuardedRead(const void* pSource, size_t nCount, void (*pfnRead)(void*), void* pContext);

// GuardedRead of a callable, for a caller's lambda.
template <class F>
DWORD GuardedRead(const void* pSource, size_t nCount, F& read) {
  return GuardedRead(
      pSource, nCount, [](void* p) { (*static_cast<F*>(p))(); }, &read);
}

// Reads a byte of every page of the range, so that the pages are in before
// a reader needs them; 0, or the code of the first page that would not come
// in.
DWORD GuardedTouch(const void* pSource, size_t nCount);
