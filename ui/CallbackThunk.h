#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

// Turns a plain callback address (thread start routine, window or hook
// procedure) into a call on an object, by writing a few machine instructions
// into an executable block that this object owns.
//
// BindMember: the target is a member with the callback's own parameters,
// for example
//   LRESULT ControlProc(HWND, UINT, WPARAM, LPARAM);   // WNDPROC
//   UINT_PTR HookProc(HWND, UINT, WPARAM, LPARAM);     // dialog hook
// On i686 the object goes to ECX and the code jumps to the target with the
// stack untouched (a __thiscall member, the default for members with mingw:
// the callee removes its stack arguments). On x86_64 the arguments move up
// one place (the fourth to a stack slot) with the object first, in a frame
// of the code's own that keeps the stack 16-byte aligned and is described
// to the platform's unwinder.
//
// BindFirstArgument: the target receives the object as an extra first
// argument before the callback's own, for example
//   DWORD __stdcall HashFileThread(LPVOID param);      // thread start
// On i686 the object is pushed below the caller's return address, so the
// target must be declared __stdcall to remove it with the callback's own
// arguments. On x86_64 (where __stdcall means nothing) only registers move
// and the code jumps to the target.
//
// No page of the block is ever writable and executable at once: it is
// executable and read-only, and a Bind makes it writable (and not
// executable) only while it writes, so a bind must not race a call through
// the same adapter on another thread.
//
// One adapter holds one binding of each form at the same time. Binding a
// form again rewrites that form in place, so an address handed out earlier
// then runs the new binding. A handed-out address stays valid until the
// adapter is destroyed.
//
// When the executable block could not be allocated or protected (or a typed
// target cannot be expressed as one code address) the Bind operations
// return nullptr;
// callers then do not start the thread, do not install the hook or window
// procedure.
class CallbackThunk {
 public:
  CallbackThunk();
  virtual ~CallbackThunk();
  CallbackThunk(const CallbackThunk&) = delete;
  CallbackThunk& operator=(const CallbackThunk&) = delete;

  void* BindMember(const void* object, const void* target);
  void* BindFirstArgument(const void* object, const void* target);

  // Typed forms: take a member function pointer (virtual ones are resolved
  // through the object's vtable, so an override in a derived class runs).
  //   m_thunk.BindFirstArgument(this, &MainDialog::HashFileThread)
  //   m_controlThunk.BindMember(this, &HyperLink::ControlProc)
  template <class T, class M>
  void* BindMember(T* object, M T::*target) {
    return BindMember(static_cast<const void*>(object), CodeAddress(object, target));
  }
  template <class T, class M>
  void* BindFirstArgument(T* object, M T::*target) {
    return BindFirstArgument(static_cast<const void*>(object), CodeAddress(object, target));
  }

  // The code address a member function pointer stands for when called on
  // object. The Itanium C++ ABI (mingw, i686 and x86_64) stores a member function
  // pointer as {ptr, adj}: an odd ptr is a vtable offset + 1, an even one the
  // function itself; adj is the adjustment of the object pointer, which the
  // thunk cannot apply, so only adj == 0 (single inheritance) is accepted.
  // Returns nullptr otherwise.
  template <class T, class M>
  static const void* CodeAddress(T* object, M T::*target) {
    static_assert(std::is_function<M>::value, "the target must be a member function");
    struct Representation {
      std::ptrdiff_t ptr;
      std::ptrdiff_t adj;
    };
    static_assert(sizeof(target) == sizeof(Representation),
                  "member function pointers are expected in the Itanium form");
    Representation rep;
    std::memcpy(&rep, &target, sizeof(rep));
    if (object == nullptr || rep.adj != 0 || rep.ptr == 0) return nullptr;
    if ((rep.ptr & 1) == 0) return reinterpret_cast<const void*>(rep.ptr);
    const char* vtable = *reinterpret_cast<const char* const*>(object);
    return *reinterpret_cast<const void* const*>(vtable + (rep.ptr - 1));
  }

 private:
  unsigned char* m_pCode;  // executable code block, null if it could not be allocated
};
