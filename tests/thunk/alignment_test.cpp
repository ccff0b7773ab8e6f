// Misaligned entry points: 32-bit Windows enters thread starts and window
// procedures with only 4-byte stack alignment, and the first-argument
// adapter moves the stack by 4 more, while the library's SSE2 code (SHA2-512
// above all) needs 16. The build realigns at every such entry; these tests
// enter a thread start through the adapter and a window procedure with the
// stack 0, 4, 8 and 12 bytes off alignment, and each computes SHA2-512 of a
// string and of a file.
//
// On x86_64 the calling convention makes every caller keep 16-byte
// alignment, so a misaligned entry cannot happen there; the x64 build runs
// the same digests through the same entries as the platform calls them.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Hasher.h"
#include "tests/common/TempFile.h"
#include "ui/CallbackThunk.h"

#if !defined(__x86_64__)
// DWORD CallWithStackOffset(const void* fn, const DWORD* args, int count, int offset)
// Calls the stdcall function fn with args (args[0] first) so that ESP is
// offset bytes below a 16-byte boundary at the call, and returns EAX.
extern "C" DWORD CallWithStackOffset(const void* fn, const DWORD* args, int count, int offset);
asm(".text\n"
    ".globl _CallWithStackOffset\n"
    "_CallWithStackOffset:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %esi\n"
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "  leal -64(%esp), %eax\n"
    "  andl $-16, %eax\n"
    "  subl 20(%ebp), %eax\n"  // ESP at the call
    "  leal (%eax,%ecx,4), %esp\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  call *8(%ebp)\n"
    "  leal -4(%ebp), %esp\n"
    "  popl %esi\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

namespace {

const UINT kSha512 = 16;
const char kAbc512[] =
    "ddaf35a193617abacc417349ae20413112e6fa4e89a97ea20a9eeee64b55d39a"
    "2192992a274fc1a836ba3c23a3feebbd454d4423643ce80e2a9ac94fa54ca49f";

#if defined(__x86_64__)
const int kOffsets[] = {0};
#else
const int kOffsets[] = {0, 4, 8, 12};
#endif

// What an entry point computed: SHA2-512 of "abc" as a string and as a file.
struct Digests {
  std::string strString;
  std::string strFile;
  DWORD dwFileError = 0;
};

Digests ComputeDigests(const char* path) {
  Digests d;
  Hasher stringHasher(kSha512);
  d.strString = stringHasher.HashString("abc", "", 0, 0);
  Hasher fileHasher(kSha512);
  d.strFile = fileHasher.HashFile(path, "", 0, 0, ProgressCallback());
  d.dwFileError = fileHasher.ErrorCode();
  return d;
}

class Worker {
 public:
  explicit Worker(const char* path) : m_pszPath(path) {}
  virtual ~Worker() {}

  DWORD __stdcall Run(LPVOID param) {
    m_digests = ComputeDigests(m_pszPath);
    return static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(param));
  }
  LRESULT Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    if (uMsg != WM_APP) return DefWindowProcA(hWnd, uMsg, wParam, lParam);
    m_digests = ComputeDigests(m_pszPath);
    return static_cast<LRESULT>(wParam + lParam);
  }

  const char* m_pszPath;
  Digests m_digests;
};

void ExpectDigests(const Digests& d) {
  EXPECT_EQ(d.strString, kAbc512);
  EXPECT_EQ(d.strFile, kAbc512);
  EXPECT_EQ(d.dwFileError, 0u);
}

#if !defined(__x86_64__)
// The start routine of the real thread: enters the adapter's entry with the
// stack offset that the parameter names.
struct ThreadStart {
  void* pEntry;
  int nOffset;
};

DWORD WINAPI StartThroughAdapter(LPVOID param) {
  const ThreadStart* start = static_cast<const ThreadStart*>(param);
  const DWORD args[1] = {77};
  return CallWithStackOffset(start->pEntry, args, 1, start->nOffset);
}
#endif

TEST(MisalignedEntryPoints, ThreadStartThroughTheAdapterHashesSha512) {
  TempFile file("aligned-thread.txt", "abc");
  for (int nOffset : kOffsets) {
    SCOPED_TRACE("stack offset " + std::to_string(nOffset));
    Worker worker(file.Path());
    CallbackThunk thunk;
    void* entry = thunk.BindFirstArgument(&worker, &Worker::Run);
    ASSERT_NE(entry, nullptr);
#if defined(__x86_64__)
    HANDLE hThread = CreateThread(nullptr, 0, reinterpret_cast<LPTHREAD_START_ROUTINE>(entry),
                                  reinterpret_cast<LPVOID>(77), 0, nullptr);
#else
    ThreadStart start = {entry, nOffset};
    HANDLE hThread = CreateThread(nullptr, 0, StartThroughAdapter, &start, 0, nullptr);
#endif
    ASSERT_NE(hThread, nullptr);
    ASSERT_EQ(WaitForSingleObject(hThread, 120000), WAIT_OBJECT_0);
    DWORD dwExit = 0;
    GetExitCodeThread(hThread, &dwExit);
    CloseHandle(hThread);
    EXPECT_EQ(dwExit, 77u) << "the thread did not finish its work";
    ExpectDigests(worker.m_digests);
  }
}

TEST(MisalignedEntryPoints, WindowProcedureHashesSha512) {
  TempFile file("aligned-window.txt", "abc");
  WNDCLASSA wc = {};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VexorinAlignmentTestWindow";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND hWnd = CreateWindowA(wc.lpszClassName, "", WS_OVERLAPPED, 0, 0, 10, 10, nullptr, nullptr,
                            wc.hInstance, nullptr);
  ASSERT_NE(hWnd, nullptr);

  for (int nOffset : kOffsets) {
    SCOPED_TRACE("stack offset " + std::to_string(nOffset));
    Worker worker(file.Path());
    CallbackThunk thunk;
    void* entry = thunk.BindMember(&worker, &Worker::Proc);
    ASSERT_NE(entry, nullptr);
    // The window's own procedure from now on, as a subclassing installs it.
    SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(entry));
#if defined(__x86_64__)
    EXPECT_EQ(SendMessageA(hWnd, WM_APP, 40, 2), 42);
#else
    const DWORD args[4] = {static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(hWnd)), WM_APP, 40,
                           2};
    EXPECT_EQ(CallWithStackOffset(entry, args, 4, nOffset), 42u);
#endif
    SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(DefWindowProcA));
    ExpectDigests(worker.m_digests);
  }
  DestroyWindow(hWnd);
  UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

}  // namespace
