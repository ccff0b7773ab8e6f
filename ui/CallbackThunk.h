#pragma once

// Turns a plain callback address (thread start routine, window or hook
// procedure) into a call on an object, by writing a few x86 instructions
// into an executable block that this object owns.
//
// BindMember: the object goes to ECX and the target must be a __thiscall
// member (the mingw default) with the callback's own parameters.
// BindFirstArgument: the object is pushed as an extra first stack argument;
// the target is a __stdcall member (object first on the stack), so it
// removes one argument more than the callback has.
// Both return nullptr when the block could not be allocated.
class CallbackThunk {
 public:
  CallbackThunk();
  virtual ~CallbackThunk();
  CallbackThunk(const CallbackThunk&) = delete;
  CallbackThunk& operator=(const CallbackThunk&) = delete;

  void* BindMember(const void* object, const void* target);
  void* BindFirstArgument(const void* object, const void* target);

  // Typed forms: take a member function pointer (virtual ones are resolved
  // through the object's vtable).
  template <class T, class M>
  void* BindMember(T* object, M T::*target);
  template <class T, class M>
  void* BindFirstArgument(T* object, M T::*target);
};
