#pragma once

#include <windows.h>

#include <atomic>

#include "fileio/OwnedHandle.h"

// One thread waiting for a condition that other threads make true: a short
// spin, then an event that is set only when the waiter is asleep, so a side
// that never has to wait costs no kernel call. One waiter per gate; any
// number of threads may wake it.
class WaitGate {
 public:
  bool Create() {
    m_event.Reset(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
    return m_event.Get() != nullptr;
  }

  template <class Ready>
  void WaitUntil(Ready ready) {
    for (int i = 0; i < kSpins; ++i) {
      if (ready()) return;
      YieldProcessor();
    }
    while (!ready()) {
      // Announce the sleep before the last look: a Wake that comes after
      // that look sees the announcement and sets the event. A set left over
      // from an earlier round only costs one more look.
      m_bAsleep.store(1);
      if (ready()) {
        m_bAsleep.store(0);
        return;
      }
      ::WaitForSingleObject(m_event.Get(), INFINITE);
    }
  }

  void Wake() {
    if (m_bAsleep.exchange(0) != 0) ::SetEvent(m_event.Get());
  }

 private:
  // About the cost of one kernel wait and wake under a loaded system: short
  // next to a chunk, long next to a chunk that is just being finished.
  static const int kSpins = 1000;

  OwnedHandle m_event;
  std::atomic<int> m_bAsleep{0};
};
