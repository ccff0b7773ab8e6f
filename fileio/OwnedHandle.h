#pragma once

#include <windows.h>

// A kernel handle (thread, event, file) that is closed when its owner
// goes; moved, never copied, so exactly one owner closes it.
class OwnedHandle {
 public:
  OwnedHandle() = default;
  explicit OwnedHandle(HANDLE h) : m_h(h) {}
  ~OwnedHandle() { Reset(); }
  OwnedHandle(OwnedHandle&& other) noexcept : m_h(other.Release()) {}
  OwnedHandle& operator=(OwnedHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  OwnedHandle(const OwnedHandle&) = delete;
  OwnedHandle& operator=(const OwnedHandle&) = delete;

  HANDLE Get() const { return m_h; }
  // For the wait functions, which take an array of handles.
  const HANDLE* Address() const { return &m_h; }
  explicit operator bool() const { return m_h != nullptr; }
  HANDLE Release() {
    HANDLE h = m_h;
    m_h = nullptr;
    return h;
  }
  void Reset(HANDLE h = nullptr) {
    if (m_h) ::CloseHandle(m_h);
    m_h = h;
  }

 private:
  HANDLE m_h = nullptr;
};
