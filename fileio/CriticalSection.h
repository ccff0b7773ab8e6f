#pragma once

#include <windows.h>

// A critical section and its scoped holder: the lock of the oldest Windows
// the program runs on, released on every way out of a scope.
class CriticalSection {
 public:
  CriticalSection() { ::InitializeCriticalSection(&m_cs); }
  ~CriticalSection() { ::DeleteCriticalSection(&m_cs); }
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  class Hold {
   public:
    explicit Hold(CriticalSection& cs) : m_cs(cs) { ::EnterCriticalSection(&m_cs.m_cs); }
    ~Hold() { ::LeaveCriticalSection(&m_cs.m_cs); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

   private:
    CriticalSection& m_cs;
  };

 private:
  CRITICAL_SECTION m_cs;
};
