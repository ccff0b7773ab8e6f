// The member callback adapter, exercised through real calls: direct calls
// with the stack pointer checked, a thread start routine, a subclassed
// window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "ui/CallbackThunk.h"

// Register-sized argument of the callbacks.
typedef std::uintptr_t Word;

// int MeasuredCall(const void* fn, const Word* args, int count, Word* result)
// Calls fn with args as the callback's arguments (args[0] first; on x86_64
// always four registers, so args has four entries), stores the returned
// register in *result and returns 0 when the call left the caller's stack
// as the calling convention requires:
// - i686: how far ESP moved across the call (a stdcall callback removes
//   exactly its arguments);
// - x86_64: nonzero when RSP moved, when the callee wrote into the caller's
//   frame above the 32-byte shadow area (the caller's own locals), or when a
//   callee-saved register changed.
extern "C" int MeasuredCall(const void* fn, const Word* args, int count, Word* result);
#if defined(__x86_64__)
asm(".text\n"
    ".globl MeasuredCall\n"
    "MeasuredCall:\n"
    "  pushq %rbp\n"
    "  movq %rsp, %rbp\n"
    "  pushq %rbx\n"
    "  pushq %r12\n"
    "  pushq %r13\n"
    "  pushq %r14\n"
    "  subq $64, %rsp\n"  // shadow area, then 32 bytes that stand for locals
    "  movq %rcx, %rax\n"
    "  movq %r9, %r12\n"
    "  movabsq $0x5A5A5A5A5A5A5A5A, %rbx\n"
    "  movq %rbx, 32(%rsp)\n"
    "  movq %rbx, 40(%rsp)\n"
    "  movq %rbx, 48(%rsp)\n"
    "  movq %rbx, 56(%rsp)\n"
    "  movq %rbx, %r13\n"
    "  movq %rsp, %r14\n"
    "  movq 0(%rdx), %rcx\n"
    "  movq 16(%rdx), %r8\n"
    "  movq 24(%rdx), %r9\n"
    "  movq 8(%rdx), %rdx\n"
    "  call *%rax\n"
    "  movq %rax, (%r12)\n"
    "  movq %rsp, %rax\n"
    "  subq %r14, %rax\n"  // RSP moved
    "  movq %r13, %rcx\n"
    "  xorq %rbx, %rcx\n"  // RBX changed
    "  orq %rcx, %rax\n"
    "  movq %r13, %rcx\n"
    "  xorq 32(%r14), %rcx\n"  // the caller's slots changed
    "  orq %rcx, %rax\n"
    "  movq %r13, %rcx\n"
    "  xorq 40(%r14), %rcx\n"
    "  orq %rcx, %rax\n"
    "  movq %r13, %rcx\n"
    "  xorq 48(%r14), %rcx\n"
    "  orq %rcx, %rax\n"
    "  movq %r13, %rcx\n"
    "  xorq 56(%r14), %rcx\n"
    "  orq %rcx, %rax\n"
    "  movq %rax, %rcx\n"  // fold to a nonzero int
    "  shrq $32, %rcx\n"
    "  orl %ecx, %eax\n"
    "  leaq -32(%rbp), %rsp\n"
    "  popq %r14\n"
    "  popq %r13\n"
    "  popq %r12\n"
    "  popq %rbx\n"
    "  popq %rbp\n"
    "  ret\n");
#else
asm(".text\n"
    ".globl _MeasuredCall\n"
    "_MeasuredCall:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %esi\n"
    "  movl 16(%ebp), %ecx\n"
    "  movl %esp, %ebx\n"
    "1:\n"
    "  testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2:\n"
    "  movl $0x5A5A5A5A, %ecx\n"  // nothing useful in ECX on entry
    "  call *8(%ebp)\n"
    "  movl 20(%ebp), %edx\n"
    "  movl %eax, (%edx)\n"
    "  movl %esp, %eax\n"
    "  subl %ebx, %eax\n"
    "  movl %ebx, %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");
#endif

namespace {

struct Call {
  const void* pObject = nullptr;
  HWND hWnd = nullptr;
  UINT uMsg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
  int nCalls = 0;
};

class Receiver {
 public:
  explicit Receiver(LRESULT result) : m_lResult(result) {}
  virtual ~Receiver() {}

  LRESULT Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    m_call.pObject = this;
    m_call.hWnd = hWnd;
    m_call.uMsg = uMsg;
    m_call.wParam = wParam;
    m_call.lParam = lParam;
    ++m_call.nCalls;
    return m_lResult;
  }
  LRESULT OtherProc(HWND, UINT, WPARAM, LPARAM) {
    ++m_nOtherCalls;
    return -m_lResult;
  }
  DWORD __stdcall Start(LPVOID param) {
    m_pStartObject = this;
    m_pStartParam = param;
    m_dwStartThread = GetCurrentThreadId();
    return static_cast<DWORD>(m_lResult);
  }

  LRESULT m_lResult;
  Call m_call;
  int m_nOtherCalls = 0;
  const void* m_pStartObject = nullptr;
  LPVOID m_pStartParam = nullptr;
  DWORD m_dwStartThread = 0;
};

LRESULT CallWndProcShaped(void* entry, HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam,
                          int* espDelta) {
  const Word args[4] = {reinterpret_cast<Word>(hWnd), uMsg, static_cast<Word>(wParam),
                        static_cast<Word>(lParam)};
  Word result = 0;
  *espDelta = MeasuredCall(entry, args, 4, &result);
  return static_cast<LRESULT>(result);
}

DWORD CallThreadShaped(void* entry, LPVOID param, int* espDelta) {
  // Garbage in the registers a thread start does not have.
  const Word args[4] = {reinterpret_cast<Word>(param), 0x3C3C3C3C, 0x4D4D4D4D, 0x5E5E5E5E};
  Word result = 0;
  *espDelta = MeasuredCall(entry, args, 1, &result);
  return static_cast<DWORD>(result);
}

// A value of the parameter types that fills all of their bits on either
// build: on x86_64 the high half catches a truncation to 32 bits.
template <class T>
T Wide(std::uint32_t low, std::uint32_t high) {
  const std::uintptr_t value =
      static_cast<std::uintptr_t>((static_cast<unsigned long long>(high) << 32) | low);
  if constexpr (std::is_pointer<T>::value) {
    return reinterpret_cast<T>(value);
  } else {
    return static_cast<T>(value);
  }
}

TEST(CallbackThunk, FourArgumentCallbackReachesTheMemberWithObjectArgumentsAndResult) {
  Receiver receiver(0x7EADBEEF);
  CallbackThunk thunk;
  void* entry = thunk.BindMember(&receiver, &Receiver::Proc);
  ASSERT_NE(entry, nullptr);

  int delta = -1;
  HWND hWnd = Wide<HWND>(0x00012340, 0x7FF1);
  const WPARAM wParam = Wide<WPARAM>(0x80000001u, 0x9ABCDEF0u);
  const LPARAM lParam = Wide<LPARAM>(0xFFFFFFFEu, 0xFFFFFFFFu);  // -2
  EXPECT_EQ(CallWndProcShaped(entry, hWnd, 0xFFFFFFFFu, wParam, lParam, &delta), 0x7EADBEEF);
  EXPECT_EQ(delta, 0) << "the caller's stack and registers must be left as the convention says";
  EXPECT_EQ(receiver.m_call.nCalls, 1);
  EXPECT_EQ(receiver.m_call.pObject, &receiver);
  EXPECT_EQ(receiver.m_call.hWnd, hWnd);
  EXPECT_EQ(receiver.m_call.uMsg, 0xFFFFFFFFu);
  EXPECT_EQ(receiver.m_call.wParam, wParam);
  EXPECT_EQ(receiver.m_call.lParam, lParam);
  EXPECT_EQ(receiver.m_call.lParam, -2);

  // Called through the platform's own pointer type, as a window procedure is.
  WNDPROC proc = reinterpret_cast<WNDPROC>(entry);
  EXPECT_EQ(proc(nullptr, WM_APP, 5, 6), 0x7EADBEEF);
  EXPECT_EQ(receiver.m_call.nCalls, 2);
  EXPECT_EQ(receiver.m_call.uMsg, static_cast<UINT>(WM_APP));
  EXPECT_EQ(receiver.m_call.lParam, 6);
}

TEST(CallbackThunk, FirstArgumentFormPassesObjectAndParameterAndRemovesBoth) {
  Receiver receiver(0x1234);
  CallbackThunk thunk;
  void* entry = thunk.BindFirstArgument(&receiver, &Receiver::Start);
  ASSERT_NE(entry, nullptr);

  int delta = -1;
  int param = 0;
  EXPECT_EQ(CallThreadShaped(entry, &param, &delta), 0x1234u);
  EXPECT_EQ(delta, 0);
  EXPECT_EQ(receiver.m_pStartObject, &receiver);
  EXPECT_EQ(receiver.m_pStartParam, &param);
  LPVOID wide = Wide<LPVOID>(0x89ABCDEF, 0x7F00);
  EXPECT_EQ(CallThreadShaped(entry, wide, &delta), 0x1234u);
  EXPECT_EQ(delta, 0);
  EXPECT_EQ(receiver.m_pStartParam, wide);
}

TEST(CallbackThunk, ThreadStartedThroughFirstArgumentFormGetsObjectParameterAndExitCode) {
  Receiver receiver(static_cast<LRESULT>(0xC0DE0042u));
  CallbackThunk thunk;
  LPTHREAD_START_ROUTINE start = reinterpret_cast<LPTHREAD_START_ROUTINE>(
      thunk.BindFirstArgument(&receiver, &Receiver::Start));
  ASSERT_NE(start, nullptr);

  int param = 0;
  DWORD threadId = 0;
  HANDLE thread = CreateThread(nullptr, 0, start, &param, 0, &threadId);
  ASSERT_NE(thread, nullptr);
  ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
  DWORD exitCode = 0;
  EXPECT_TRUE(GetExitCodeThread(thread, &exitCode));
  CloseHandle(thread);

  EXPECT_EQ(exitCode, 0xC0DE0042u);
  EXPECT_EQ(receiver.m_pStartObject, &receiver);
  EXPECT_EQ(receiver.m_pStartParam, &param);
  EXPECT_EQ(receiver.m_dwStartThread, threadId);
  EXPECT_NE(receiver.m_dwStartThread, GetCurrentThreadId());
}

TEST(CallbackThunk, BothFormsLiveSideBySideAndRebindingOneLeavesTheOther) {
  Receiver first(11), second(22), third(33);
  CallbackThunk thunk;
  void* member = thunk.BindMember(&first, &Receiver::Proc);
  void* stack = thunk.BindFirstArgument(&second, &Receiver::Start);
  ASSERT_NE(member, nullptr);
  ASSERT_NE(stack, nullptr);
  EXPECT_NE(stack, member);

  int delta = -1;
  EXPECT_EQ(CallWndProcShaped(member, nullptr, 1, 2, 3, &delta), 11);
  EXPECT_EQ(first.m_call.nCalls, 1);
  EXPECT_EQ(CallThreadShaped(stack, nullptr, &delta), 22u);
  EXPECT_EQ(second.m_pStartObject, &second);

  // Rebinding the register form keeps the stack form, and the other way round.
  EXPECT_EQ(thunk.BindMember(&third, &Receiver::Proc), member);
  EXPECT_EQ(CallThreadShaped(stack, nullptr, &delta), 22u);
  EXPECT_EQ(CallWndProcShaped(member, nullptr, 1, 2, 3, &delta), 33);
  EXPECT_EQ(thunk.BindFirstArgument(&first, &Receiver::Start), stack);
  EXPECT_EQ(CallWndProcShaped(member, nullptr, 1, 2, 3, &delta), 33);
  EXPECT_EQ(third.m_call.nCalls, 2);
  EXPECT_EQ(CallThreadShaped(stack, nullptr, &delta), 11u);
  EXPECT_EQ(first.m_pStartObject, &first);
  EXPECT_EQ(first.m_call.nCalls, 1);
}

TEST(CallbackThunk, RebindingRedirectsAnAddressHandedOutEarlier) {
  Receiver a(1), b(2);
  CallbackThunk thunk;
  WNDPROC early = reinterpret_cast<WNDPROC>(thunk.BindMember(&a, &Receiver::Proc));
  ASSERT_NE(early, nullptr);
  EXPECT_EQ(early(nullptr, 0, 0, 0), 1);

  // Alternate object and target many times; every call must run the binding
  // written just before it, never code left from an earlier one.
  for (int i = 0; i < 200; ++i) {
    Receiver* object = (i % 2 == 0) ? &b : &a;
    void* entry = (i % 3 == 0) ? thunk.BindMember(object, &Receiver::OtherProc)
                               : thunk.BindMember(object, &Receiver::Proc);
    ASSERT_EQ(entry, reinterpret_cast<void*>(early));
    LRESULT expected = (i % 3 == 0) ? -object->m_lResult : object->m_lResult;
    ASSERT_EQ(early(nullptr, 0, 0, 0), expected) << "after rebinding number " << i;
  }
  EXPECT_EQ(a.m_call.nCalls + a.m_nOtherCalls + b.m_call.nCalls + b.m_nOtherCalls, 201);
  // Each rebinding made the block writable only while it wrote.
  MEMORY_BASIC_INFORMATION info = {};
  ASSERT_NE(VirtualQuery(reinterpret_cast<void*>(early), &info, sizeof(info)), 0u);
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
}

// Both entries lie in one committed block of the adapter's own, which
// starts at block, and which is executable but not writable.
void ExpectOwnExecutableBlock(const void* block, const void* entry) {
  MEMORY_BASIC_INFORMATION info = {};
  ASSERT_NE(VirtualQuery(entry, &info, sizeof(info)), 0u);
  EXPECT_EQ(info.AllocationBase, block);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_COMMIT));
  EXPECT_EQ(info.Protect, static_cast<DWORD>(PAGE_EXECUTE_READ));
}

#if !defined(__x86_64__)
TEST(CallbackThunk, WritesTheDocumentedCodeIntoItsOwnExecutableBlock) {
  Receiver receiver(0);
  CallbackThunk thunk;
  const unsigned char* member =
      static_cast<const unsigned char*>(thunk.BindMember(&receiver, &Receiver::Proc));
  const unsigned char* stack =
      static_cast<const unsigned char*>(thunk.BindFirstArgument(&receiver, &Receiver::Start));
  ASSERT_NE(member, nullptr);
  const unsigned char* block = member - 4;

  ExpectOwnExecutableBlock(block, stack);

  std::uint32_t object = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(&receiver));
  std::uint32_t value = 0;
  EXPECT_EQ(member[0], 0xB9);
  std::memcpy(&value, member + 1, 4);
  EXPECT_EQ(value, object);
  EXPECT_EQ(member[5], 0xE9);
  std::memcpy(&value, member + 6, 4);
  EXPECT_EQ(
      reinterpret_cast<std::uintptr_t>(block + 14) + value,
      reinterpret_cast<std::uintptr_t>(CallbackThunk::CodeAddress(&receiver, &Receiver::Proc)));

  ASSERT_EQ(stack, block + 14);
  const unsigned char prologue[] = {0xFF, 0x34, 0x24, 0xC7, 0x44, 0x24, 0x04};
  EXPECT_EQ(std::memcmp(stack, prologue, sizeof(prologue)), 0);
  std::memcpy(&value, stack + 7, 4);
  EXPECT_EQ(value, object);
  EXPECT_EQ(stack[11], 0xE9);
  std::memcpy(&value, stack + 12, 4);
  EXPECT_EQ(
      reinterpret_cast<std::uintptr_t>(block + 30) + value,
      reinterpret_cast<std::uintptr_t>(CallbackThunk::CodeAddress(&receiver, &Receiver::Start)));
}
#else
// The same contract by the x64 means: registers, a frame for the fifth
// argument, and unwind data so the platform can walk through that frame.
TEST(CallbackThunk, KeepsItsCodeInOneExecutableBlockAndDescribesTheRegisterFormsFrame) {
  Receiver receiver(0);
  const void* member = nullptr;
  {
    CallbackThunk thunk;
    member = thunk.BindMember(&receiver, &Receiver::Proc);
    const void* stack = thunk.BindFirstArgument(&receiver, &Receiver::Start);
    ASSERT_NE(member, nullptr);
    ASSERT_NE(stack, nullptr);
    MEMORY_BASIC_INFORMATION info = {};
    ASSERT_NE(VirtualQuery(member, &info, sizeof(info)), 0u);
    ExpectOwnExecutableBlock(info.AllocationBase, member);
    ExpectOwnExecutableBlock(info.AllocationBase, stack);

    DWORD64 base = 0;
    PRUNTIME_FUNCTION function =
        RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(member), &base, nullptr);
    ASSERT_NE(function, nullptr) << "no unwind data for the register form";
    EXPECT_EQ(base, reinterpret_cast<DWORD64>(info.AllocationBase));
    EXPECT_EQ(base + function->BeginAddress, reinterpret_cast<DWORD64>(member));
    EXPECT_GT(function->EndAddress, function->BeginAddress);
  }
  DWORD64 base = 0;
  EXPECT_EQ(RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(member), &base, nullptr), nullptr)
      << "the unwind data must go with the block";
}

// How far RSP was from 16-byte alignment at the call that entered this
// probe: 0 when its caller's frame is aligned, as the x64 convention says.
extern "C" int CallSiteMisalignment();
asm(".text\n"
    ".globl CallSiteMisalignment\n"
    "CallSiteMisalignment:\n"
    "  leaq 8(%rsp), %rax\n"
    "  andl $15, %eax\n"
    "  ret\n");

class Walker {
 public:
  virtual ~Walker() {}
  LRESULT Proc(HWND, UINT uMsg, WPARAM, LPARAM) {
    m_nMisalignment = CallSiteMisalignment();
    m_nFrames = RtlCaptureStackBackTrace(0, 8, m_frames, nullptr);
    if (uMsg == WM_APP + 1) throw 42;  // through the adapter's frame to the caller
    return 1;
  }
  int m_nMisalignment = -1;
  int m_nFrames = 0;
  void* m_frames[8] = {};
};

// Not inlined, so that its return address identifies it in a stack walk.
__attribute__((noinline)) LRESULT CallThrough(WNDPROC proc, UINT uMsg, bool* pbCaught) {
  try {
    return proc(nullptr, uMsg, 0, 0);
  } catch (int) {
    *pbCaught = true;
  }
  return 0;
}

bool FrameInFunction(void* frame, const void* function) {
  DWORD64 base = 0;
  PRUNTIME_FUNCTION entry =
      RtlLookupFunctionEntry(reinterpret_cast<DWORD64>(frame), &base, nullptr);
  return entry != nullptr && base + entry->BeginAddress == reinterpret_cast<DWORD64>(function);
}

TEST(CallbackThunk, RegisterFormKeepsTheStackAlignedAndLetsThePlatformWalkThroughIt) {
  Walker walker;
  CallbackThunk thunk;
  void* entry = thunk.BindMember(&walker, &Walker::Proc);
  ASSERT_NE(entry, nullptr);
  WNDPROC proc = reinterpret_cast<WNDPROC>(entry);

  bool bCaught = false;
  EXPECT_EQ(CallThrough(proc, WM_APP, &bCaught), 1);
  EXPECT_EQ(walker.m_nMisalignment, 0);
  // The walk from the member reaches the adapter, and past it the caller.
  bool bThroughThunk = false, bCaller = false;
  const char* code = static_cast<const char*>(entry);
  for (int i = 0; i < walker.m_nFrames; ++i) {
    const char* frame = static_cast<const char*>(walker.m_frames[i]);
    bThroughThunk |= frame > code && frame < code + 64;
    bCaller |= bThroughThunk &&
               FrameInFunction(walker.m_frames[i], reinterpret_cast<const void*>(&CallThrough));
  }
  EXPECT_TRUE(bThroughThunk);
  EXPECT_TRUE(bCaller) << "the stack walk stopped at the adapter";

  // An exception unwinds through the adapter's frame to the caller's handler.
  EXPECT_EQ(CallThrough(proc, WM_APP + 1, &bCaught), 0);
  EXPECT_TRUE(bCaught);
}
#endif

TEST(CallbackThunk, DestructionReleasesTheBlock) {
  Receiver receiver(0);
  const void* entry = nullptr;
  {
    CallbackThunk thunk;
    entry = thunk.BindMember(&receiver, &Receiver::Proc);
    ASSERT_NE(entry, nullptr);
  }
  MEMORY_BASIC_INFORMATION info = {};
  ASSERT_NE(VirtualQuery(entry, &info, sizeof(info)), 0u);
  EXPECT_EQ(info.State, static_cast<DWORD>(MEM_FREE));
}

// A window whose own procedure answers WM_APP + 2 with 7 and counts what it sees.
int g_nOriginalCalls = 0;
LRESULT CALLBACK OriginalProc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
  ++g_nOriginalCalls;
  if (uMsg == WM_APP + 2) return 7;
  return DefWindowProcA(hWnd, uMsg, wParam, lParam);
}

class Subclasser {
 public:
  virtual ~Subclasser() {}
  LRESULT Proc(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam) {
    m_messages.push_back(uMsg);
    m_dwThread = GetCurrentThreadId();
    if (uMsg == WM_APP + 1) return static_cast<LRESULT>(wParam + lParam);
    return CallWindowProcA(m_pfnOld, hWnd, uMsg, wParam, lParam);
  }
  bool Saw(UINT uMsg) const {
    for (UINT m : m_messages)
      if (m == uMsg) return true;
    return false;
  }

  WNDPROC m_pfnOld = nullptr;
  std::vector<UINT> m_messages;
  DWORD m_dwThread = 0;
};

DWORD WINAPI SendFromOtherThread(LPVOID param) {
  return static_cast<DWORD>(SendMessageA(static_cast<HWND>(param), WM_APP + 1, 40, 2));
}

TEST(CallbackThunk, SubclassedWindowReceivesItsMessagesThroughTheBoundProcedure) {
  WNDCLASSA wc = {};
  wc.lpfnWndProc = OriginalProc;
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.lpszClassName = "VexorinThunkTestWindow";
  ASSERT_NE(RegisterClassA(&wc), 0);
  HWND hWnd = CreateWindowA(wc.lpszClassName, "before", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            nullptr, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(hWnd, nullptr);

  Subclasser subclasser;
  CallbackThunk thunk;
  WNDPROC proc = reinterpret_cast<WNDPROC>(thunk.BindMember(&subclasser, &Subclasser::Proc));
  ASSERT_NE(proc, nullptr);
  subclasser.m_pfnOld = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(proc)));
  ASSERT_EQ(subclasser.m_pfnOld, &OriginalProc);

  // Sent, handled by the member itself.
  EXPECT_EQ(SendMessageA(hWnd, WM_APP + 1, 30, 12), 42);
  // Sent, passed on to the original procedure.
  int before = g_nOriginalCalls;
  EXPECT_EQ(SendMessageA(hWnd, WM_APP + 2, 0, 0), 7);
  EXPECT_GT(g_nOriginalCalls, before);
  // Passed on to the default handling: the text really changes.
  EXPECT_TRUE(SetWindowTextA(hWnd, "after"));
  char text[16] = {};
  GetWindowTextA(hWnd, text, sizeof(text));
  EXPECT_STREQ(text, "after");
  EXPECT_TRUE(subclasser.Saw(WM_SETTEXT));
  EXPECT_TRUE(subclasser.Saw(WM_GETTEXT));

  // Posted and dispatched by a message loop.
  ASSERT_TRUE(PostMessageA(hWnd, WM_APP + 3, 0, 0));
  MSG msg;
  while (PeekMessageA(&msg, hWnd, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  EXPECT_TRUE(subclasser.Saw(WM_APP + 3));

  // Sent from another thread: runs on the window's own thread.
  HANDLE thread = CreateThread(nullptr, 0, SendFromOtherThread, hWnd, 0, nullptr);
  ASSERT_NE(thread, nullptr);
  DWORD exitCode = 0;
  for (;;) {
    DWORD wait = MsgWaitForMultipleObjects(1, &thread, FALSE, 60000, QS_ALLINPUT);
    if (wait != WAIT_OBJECT_0 + 1) {
      ASSERT_EQ(wait, WAIT_OBJECT_0);
      break;
    }
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  }
  GetExitCodeThread(thread, &exitCode);
  CloseHandle(thread);
  EXPECT_EQ(exitCode, 42u);
  EXPECT_EQ(subclasser.m_dwThread, GetCurrentThreadId());

  // Undo the subclassing; later messages no longer reach the member.
  EXPECT_EQ(SetWindowLongPtrA(hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(subclasser.m_pfnOld)),
            reinterpret_cast<LONG_PTR>(proc));
  size_t seen = subclasser.m_messages.size();
  EXPECT_EQ(SendMessageA(hWnd, WM_APP + 1, 30, 12), 0);
  EXPECT_EQ(subclasser.m_messages.size(), seen);
  DestroyWindow(hWnd);
  UnregisterClassA(wc.lpszClassName, wc.hInstance);
}

class Shape {
 public:
  virtual ~Shape() {}
  virtual LRESULT Area(HWND, UINT, WPARAM wParam, LPARAM lParam) {
    return static_cast<LRESULT>(wParam) * lParam;
  }
  virtual DWORD __stdcall Corners(LPVOID) { return 0; }
  LRESULT Plain(HWND, UINT, WPARAM, LPARAM) { return m_nId; }
  int m_nId = 1;
};

class Triangle : public Shape {
 public:
  LRESULT Area(HWND, UINT, WPARAM wParam, LPARAM lParam) override {
    m_pSeen = this;
    return static_cast<LRESULT>(wParam) * lParam / 2;
  }
  DWORD __stdcall Corners(LPVOID param) override {
    m_pSeen = this;
    return 3 + static_cast<DWORD>(reinterpret_cast<std::uintptr_t>(param));
  }
  const void* m_pSeen = nullptr;
};

TEST(CallbackThunk, VirtualTargetsResolveThroughTheObjectsVtable) {
  Shape shape;
  Triangle triangle;
  Shape* asShape = &triangle;
  CallbackThunk forShape, forTriangle;

  WNDPROC area = reinterpret_cast<WNDPROC>(forShape.BindMember(&shape, &Shape::Area));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area(nullptr, 0, 6, 4), 24);

  // The same member pointer, bound to a derived object, runs the override.
  area = reinterpret_cast<WNDPROC>(forTriangle.BindMember(asShape, &Shape::Area));
  ASSERT_NE(area, nullptr);
  EXPECT_EQ(area(nullptr, 0, 6, 4), 12);
  EXPECT_EQ(triangle.m_pSeen, &triangle);

  int delta = -1;
  void* corners = forTriangle.BindFirstArgument(asShape, &Shape::Corners);
  ASSERT_NE(corners, nullptr);
  EXPECT_EQ(CallThreadShaped(corners, reinterpret_cast<LPVOID>(4), &delta), 7u);
  EXPECT_EQ(delta, 0);

  // A plain member of a class with a vtable is its own address.
  triangle.m_nId = 9;
  WNDPROC plain = reinterpret_cast<WNDPROC>(forShape.BindMember(asShape, &Shape::Plain));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain(nullptr, 0, 0, 0), 9);
}

class Left {
 public:
  virtual ~Left() {}
  int m_nLeft = 0;
};
class Right {
 public:
  virtual ~Right() {}
  LRESULT Proc(HWND, UINT, WPARAM, LPARAM) { return 1; }
};
class Both : public Left, public Right {};

TEST(CallbackThunk, RefusesTargetsItCannotExpressAsOneCodeAddress) {
  Both both;
  CallbackThunk thunk;
  // Calling Right::Proc on a Both needs the object pointer moved to its Right
  // part, which the code block cannot do.
  LRESULT (Both::*adjusted)(HWND, UINT, WPARAM, LPARAM) = &Right::Proc;
  EXPECT_EQ(thunk.BindMember(&both, adjusted), nullptr);
  EXPECT_EQ(
      thunk.BindMember(&both, static_cast<LRESULT (Both::*)(HWND, UINT, WPARAM, LPARAM)>(nullptr)),
      nullptr);
  EXPECT_EQ(thunk.BindMember(&both, static_cast<const void*>(nullptr)), nullptr);
  EXPECT_EQ(thunk.BindFirstArgument(&both, static_cast<const void*>(nullptr)), nullptr);
  // The adapter itself stays usable.
  Receiver receiver(5);
  WNDPROC proc = reinterpret_cast<WNDPROC>(thunk.BindMember(&receiver, &Receiver::Proc));
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc(nullptr, 0, 0, 0), 5);
}

}  // namespace
