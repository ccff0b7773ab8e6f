// The member callback adapter when its executable block cannot be had. A
// process of its own: no thread of an earlier test may still be giving
// memory back while allocations are refused.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "ui/CallbackThunk.h"

namespace {

class Receiver {
 public:
  virtual ~Receiver() {}
  LRESULT Proc(HWND, UINT, WPARAM, LPARAM) { return ++m_nCalls; }
  DWORD __stdcall Start(LPVOID) { return static_cast<DWORD>(++m_nCalls); }
  int m_nCalls = 0;
};

#if defined(__x86_64__)
// A 64-bit address space cannot be filled: Wine would need gigabytes of
// page tables for it. Instead every VirtualAlloc of this program, which goes
// through one import slot, is refused until Release.
extern "C" LPVOID(WINAPI* __imp_VirtualAlloc)(LPVOID, SIZE_T, DWORD, DWORD);

LPVOID WINAPI RefuseAllocation(LPVOID, SIZE_T, DWORD, DWORD) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

class MemoryExhaustion {
 public:
  MemoryExhaustion() {
    if (!VirtualProtect(&__imp_VirtualAlloc, sizeof(__imp_VirtualAlloc), PAGE_READWRITE,
                        &m_dwProtect))
      return;
    m_pfnOriginal = __imp_VirtualAlloc;
    __imp_VirtualAlloc = RefuseAllocation;
  }
  void Release() {
    if (m_pfnOriginal == nullptr) return;
    __imp_VirtualAlloc = m_pfnOriginal;
    m_pfnOriginal = nullptr;
    VirtualProtect(&__imp_VirtualAlloc, sizeof(__imp_VirtualAlloc), m_dwProtect, &m_dwProtect);
  }
  ~MemoryExhaustion() { Release(); }
  size_t Count() const { return m_pfnOriginal != nullptr ? 1 : 0; }

 private:
  LPVOID(WINAPI* m_pfnOriginal)(LPVOID, SIZE_T, DWORD, DWORD) = nullptr;
  DWORD m_dwProtect = 0;
};
#else
// Reserves every free region of the address space, so that no allocation
// can succeed until Release.
class MemoryExhaustion {
 public:
  MemoryExhaustion() {
    for (SIZE_T size = 0x40000000; size >= 0x10000;) {
      void* p = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
      if (p != nullptr) {
        m_regions.push_back(p);
      } else {
        size /= 2;
      }
      if (m_regions.size() == m_regions.capacity()) break;  // never reallocate while full
    }
    // Some holes take a committed block although they refused a bare
    // reservation (Wine keeps a few such areas): fill them the way the
    // adapter allocates.
    while (m_regions.size() < m_regions.capacity()) {
      void* p = VirtualAlloc(nullptr, 1, MEM_COMMIT, PAGE_READWRITE);
      if (p == nullptr) break;
      m_regions.push_back(p);
    }
  }
  void Release() {
    for (void* p : m_regions) VirtualFree(p, 0, MEM_RELEASE);
    m_regions.clear();
  }
  ~MemoryExhaustion() { Release(); }
  size_t Count() const { return m_regions.size(); }

 private:
  struct Reserved : std::vector<void*> {
    Reserved() { reserve(1 << 16); }
  } m_regions;
};
#endif

TEST(CallbackThunk, WithoutAnExecutableBlockItRefusesToBind) {
  Receiver receiver;
  void* member = &receiver;
  void* stack = &receiver;
  bool blockProbe = false;
  size_t reserved = 0;
  {
    MemoryExhaustion filler;
    {
      CallbackThunk thunk;  // its allocation fails
      void* probe = VirtualAlloc(nullptr, 64, MEM_COMMIT, PAGE_READWRITE);
      blockProbe = probe != nullptr;
      if (probe != nullptr) VirtualFree(probe, 0, MEM_RELEASE);
      member = thunk.BindMember(&receiver, &Receiver::Proc);
      stack = thunk.BindFirstArgument(&receiver, &Receiver::Start);
    }  // destroying an adapter without a block is harmless
    reserved = filler.Count();
  }
  ASSERT_GT(reserved, 0u);
  ASSERT_FALSE(blockProbe) << "the address space could not be filled";
  EXPECT_EQ(member, nullptr);
  EXPECT_EQ(stack, nullptr);
  EXPECT_EQ(receiver.m_nCalls, 0);

  // With room again, a new adapter works.
  CallbackThunk thunk;
  WNDPROC proc = reinterpret_cast<WNDPROC>(thunk.BindMember(&receiver, &Receiver::Proc));
  ASSERT_NE(proc, nullptr);
  EXPECT_EQ(proc(nullptr, 0, 0, 0), 1);
}

}  // namespace
