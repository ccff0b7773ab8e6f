#pragma once

#include <cstring>

// A receiver object bound to one of its member operations that takes a
// percentage. Copied by value; calling an empty one does nothing.
class ProgressCallback {
 public:
  ProgressCallback() = default;

  template <class T, class R>
  ProgressCallback(T* receiver, R (T::*operation)(int))
      : m_pReceiver(operation ? receiver : nullptr), m_pfnInvoke(&Invoke<T, R>) {
    static_assert(sizeof(operation) <= sizeof(m_operation), "member pointer too large");
    std::memcpy(m_operation, &operation, sizeof(operation));
  }

  bool IsEmpty() const { return m_pReceiver == nullptr; }

  void operator()(int percent) const {
    if (!IsEmpty()) m_pfnInvoke(m_pReceiver, m_operation, percent);
  }

 private:
  template <class T, class R>
  static void Invoke(void* receiver, const unsigned char* stored, int percent) {
    R (T::*operation)(int);
    std::memcpy(&operation, stored, sizeof(operation));
    (static_cast<T*>(receiver)->*operation)(percent);
  }

  void* m_pReceiver = nullptr;
  void (*m_pfnInvoke)(void*, const unsigned char*, int) = nullptr;
  alignas(void*) unsigned char m_operation[2 * sizeof(void*)] = {};
};
