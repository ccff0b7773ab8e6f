#include "fileio/GuardedCopy.h"

#include <winternl.h>

#include <cstring>

namespace {

// One per copy under way, on the copying thread's stack; the thread finds
// its own through a thread-local slot.
struct GuardRecord {
  void* jump[5];  // __builtin_setjmp buffer: where the copy resumes
  const BYTE* pBegin;
  const BYTE* pEnd;
  volatile DWORD dwError;
};

DWORD g_dwSlot = TLS_OUT_OF_INDEXES;

DWORD ErrorOf(const EXCEPTION_RECORD& record) {
  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION) return ERROR_NOACCESS;
  if (record.ExceptionCode == EXCEPTION_IN_PAGE_ERROR && record.NumberParameters >= 3) {
    const ULONG ulError =
        ::RtlNtStatusToDosError(static_cast<NTSTATUS>(record.ExceptionInformation[2]));
    if (ulError != 0 && ulError != ERROR_MR_MID_NOT_FOUND) return ulError;
  }
  return ERROR_READ_FAULT;
}

// Whether the fault is a failed read of the guarded bytes. Only the guarded
// read (a copy, a touch, a digest's update) runs on the thread while its
// guard is armed; still, where the platform names the address, it must lie
// in the source range, so that a fault of the program itself goes on to the
// usual handling.
bool IsGuardedFault(const EXCEPTION_RECORD& record, const GuardRecord& guard) {
  switch (record.ExceptionCode) {
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_ACCESS_VIOLATION: {
      if (record.NumberParameters < 2 || record.ExceptionInformation[0] != 0) return false;
      const BYTE* pAddress = reinterpret_cast<const BYTE*>(record.ExceptionInformation[1]);
      return pAddress >= guard.pBegin && pAddress < guard.pEnd;
    }
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
      // Under a user-mode emulator a bus error on a mapped page arrives as
      // one of these, without an address.
      return record.NumberParameters == 0;
    default:
      return false;
  }
}

// Entered instead of the faulting instruction, on the copying thread below
// the copy's frames; jumps back into GuardedCopy, which is still live.
[[noreturn]] void ResumeAfterFault() {
#if defined(__i386__)
  // The copy may have been using MMX registers; leave the FPU usable.
  if (::IsProcessorFeaturePresent(PF_MMX_INSTRUCTIONS_AVAILABLE)) __asm__ volatile("emms");
#endif
  GuardRecord* pGuard = static_cast<GuardRecord*>(::TlsGetValue(g_dwSlot));
  __builtin_longjmp(pGuard->jump, 1);
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* pInfo) {
  // The faulting thread's last error belongs to whoever handles the fault.
  const DWORD dwLastError = ::GetLastError();
  GuardRecord* pGuard = static_cast<GuardRecord*>(::TlsGetValue(g_dwSlot));
  ::SetLastError(dwLastError);
  if (pGuard == nullptr || pGuard->dwError != 0 ||
      !IsGuardedFault(*pInfo->ExceptionRecord, *pGuard))
    return EXCEPTION_CONTINUE_SEARCH;
  pGuard->dwError = ErrorOf(*pInfo->ExceptionRecord);
  // Continue in ResumeAfterFault on a fresh, aligned part of the stack, as
  // if called, with the direction flag clear as every call expects.
  CONTEXT& context = *pInfo->ContextRecord;
  const DWORD kDirectionFlag = 0x400;
  context.EFlags &= ~kDirectionFlag;
#if defined(__x86_64__)
  context.Rsp = ((context.Rsp - 256) & ~DWORD64(15)) - 8;
  context.Rip = reinterpret_cast<DWORD64>(&ResumeAfterFault);
#else
  context.Esp = ((context.Esp - 256) & ~DWORD(15)) - 4;
  context.Eip = reinterpret_cast<DWORD>(&ResumeAfterFault);
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

bool Install() {
  g_dwSlot = ::TlsAlloc();
  if (g_dwSlot == TLS_OUT_OF_INDEXES) return false;
  return ::AddVectoredExceptionHandler(1, &OnException) != nullptr;
}

}  // namespace

DWORD GuardedRead(const void* pSource, size_t nCount, void (*pfnRead)(void*), void* pContext) {
  static const bool bInstalled = Install();
  if (!bInstalled) return ERROR_NOT_ENOUGH_MEMORY;
  GuardRecord guard;
  guard.pBegin = static_cast<const BYTE*>(pSource);
  guard.pEnd = guard.pBegin + nCount;
  guard.dwError = 0;
  if (__builtin_setjmp(guard.jump) == 0) {
    ::TlsSetValue(g_dwSlot, &guard);
    pfnRead(pContext);
  }
  ::TlsSetValue(g_dwSlot, nullptr);
  return guard.dwError;
}

DWORD GuardedCopy(void* pDestination, const void* pSource, size_t nCount) {
  auto copy = [&] { std::memcpy(pDestination, pSource, nCount); };
  return GuardedRead(pSource, nCount, copy);
}

DWORD GuardedTouch(const void* pSource, size_t nCount) {
  auto touch = [&] {
    const volatile BYTE* p = static_cast<const volatile BYTE*>(pSource);
    const size_t kPage = 4096;
    for (size_t i = 0; i < nCount; i += kPage) (void)p[i];
    if (nCount != 0) (void)p[nCount - 1];
  };
  return GuardedRead(pSource, nCount, touch);
}
