#include "ui/CallbackThunk.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

// Opcode bytes are written one field at a time so that every field is named.
template <std::size_t N>
void PutBytes(std::uint8_t (&field)[N], const std::uint8_t (&bytes)[N]) {
  std::memcpy(field, bytes, N);
}

#pragma pack(push, 1)

#if defined(__x86_64__) || defined(_M_X64)

// Register form: a window or hook procedure (rcx, rdx, r8, r9) becomes a
// member call (object, rcx, rdx, r8, r9). The fifth argument needs a stack
// slot of its own above a fresh 32-byte shadow area, so the code builds a
// frame of 40 bytes (which also restores 16-byte alignment at the call)
// and calls the target instead of jumping to it.
struct MemberCode {
  std::uint8_t subRsp40[4];   // sub rsp, 40
  std::uint8_t storeR9[5];    // mov [rsp+32], r9: fifth argument
  std::uint8_t movR9R8[3];    // mov r9, r8
  std::uint8_t movR8Rdx[3];   // mov r8, rdx
  std::uint8_t movRdxRcx[3];  // mov rdx, rcx
  std::uint8_t movRcxImm[2];  // mov rcx, imm64
  std::uint64_t object;
  std::uint8_t movRaxImm[2];  // mov rax, imm64
  std::uint64_t target;
  std::uint8_t callRax[2];   // call rax
  std::uint8_t addRsp40[4];  // add rsp, 40
  std::uint8_t ret;          // ret
};
const std::uint32_t kMemberPrologSize = sizeof(MemberCode::subRsp40);
const std::uint32_t kMemberFrameSize = 40;

// First-argument form: a thread start (rcx) becomes a member call
// (object, rcx). Only registers change, so it jumps with the stack as the
// platform left it and the target returns straight to the platform.
struct FirstArgumentCode {
  std::uint8_t movRdxRcx[3];  // mov rdx, rcx
  std::uint8_t movRcxImm[2];  // mov rcx, imm64
  std::uint64_t object;
  std::uint8_t movRaxImm[2];  // mov rax, imm64
  std::uint64_t target;
  std::uint8_t jmpRax[2];  // jmp rax
};

// The unwind description of the register form, so that the platform can
// walk the stack (exceptions, debuggers) through its frame.
struct UnwindInfo {
  std::uint8_t versionAndFlags;  // version 1, no handler
  std::uint8_t prologSize;
  std::uint8_t codeCount;
  std::uint8_t frameRegister;  // none
  std::uint8_t allocOffset;    // the instruction that ends at this offset ...
  std::uint8_t allocOp;        // ... allocates (info + 1) * 8 bytes
  std::uint16_t padding;       // the code array has an even length
};
const std::uint8_t kUnwindAllocSmall = 2;

struct CodeBlock {
  RUNTIME_FUNCTION function;  // offsets relative to the block
  UnwindInfo unwind;
  MemberCode member;
  FirstArgumentCode firstArgument;
};
static_assert(offsetof(CodeBlock, unwind) % 4 == 0, "unwind data must be 4-byte aligned");

void WriteMember(CodeBlock* block, const void* object, const void* target) {
  MemberCode& code = block->member;
  PutBytes(code.subRsp40, {0x48, 0x83, 0xEC, kMemberFrameSize});
  PutBytes(code.storeR9, {0x4C, 0x89, 0x4C, 0x24, 0x20});
  PutBytes(code.movR9R8, {0x4D, 0x89, 0xC1});
  PutBytes(code.movR8Rdx, {0x49, 0x89, 0xD0});
  PutBytes(code.movRdxRcx, {0x48, 0x89, 0xCA});
  PutBytes(code.movRcxImm, {0x48, 0xB9});
  code.object = reinterpret_cast<std::uintptr_t>(object);
  PutBytes(code.movRaxImm, {0x48, 0xB8});
  code.target = reinterpret_cast<std::uintptr_t>(target);
  PutBytes(code.callRax, {0xFF, 0xD0});
  PutBytes(code.addRsp40, {0x48, 0x83, 0xC4, kMemberFrameSize});
  code.ret = 0xC3;
}

void WriteFirstArgument(CodeBlock* block, const void* object, const void* target) {
  FirstArgumentCode& code = block->firstArgument;
  PutBytes(code.movRdxRcx, {0x48, 0x89, 0xCA});
  PutBytes(code.movRcxImm, {0x48, 0xB9});
  code.object = reinterpret_cast<std::uintptr_t>(object);
  PutBytes(code.movRaxImm, {0x48, 0xB8});
  code.target = reinterpret_cast<std::uintptr_t>(target);
  PutBytes(code.jmpRax, {0xFF, 0xE0});
}

// Describes the register form's frame to the platform's unwinder. The
// first-argument form leaves no frame (the target replaces it), so it needs
// no entry.
void RegisterUnwindData(CodeBlock* block) {
  const std::uintptr_t base = reinterpret_cast<std::uintptr_t>(block);
  UnwindInfo& info = block->unwind;
  info.versionAndFlags = 1;
  info.prologSize = kMemberPrologSize;
  info.codeCount = 1;
  info.frameRegister = 0;
  info.allocOffset = kMemberPrologSize;
  info.allocOp = kUnwindAllocSmall | ((kMemberFrameSize / 8 - 1) << 4);
  info.padding = 0;
  block->function.BeginAddress = offsetof(CodeBlock, member);
  block->function.EndAddress = offsetof(CodeBlock, member) + sizeof(MemberCode);
  block->function.UnwindData = offsetof(CodeBlock, unwind);
  // Without it the callbacks still work; only walks through the frame stop.
  RtlAddFunctionTable(&block->function, 1, base);
}

void UnregisterUnwindData(CodeBlock* block) { RtlDeleteFunctionTable(&block->function); }

#else

// Register form: mov ecx, object; jmp target. The target is a __thiscall
// member and removes the callback's arguments itself.
struct MemberCode {
  std::uint8_t movEcxImm;  // mov ecx, imm32
  std::uint32_t object;
  std::uint8_t jmpRel;  // jmp rel32
  std::int32_t displacement;
};

// First-argument form: a second copy of the return address goes on top, and
// its old slot carries the object, which the target sees as a new first
// stack argument; the target removes it with the callback's own.
struct FirstArgumentCode {
  std::uint8_t pushReturnAddress[3];  // push dword [esp]
  std::uint8_t storeArgumentSlot[4];  // mov dword [esp+4], imm32
  std::uint32_t object;
  std::uint8_t jmpRel;  // jmp rel32
  std::int32_t displacement;
};

struct CodeBlock {
  std::uint8_t reserved[4];
  MemberCode member;
  FirstArgumentCode firstArgument;
  std::uint8_t tail[6];
};
static_assert(sizeof(CodeBlock) == 36, "the 32-bit block is 36 bytes");

template <class T>
std::uint32_t Low32(T* pointer) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(pointer));
}

// Displacement of a 32-bit relative jump whose next instruction is at next.
std::int32_t JumpDisplacement(const void* target, const void* next) {
  return static_cast<std::int32_t>(Low32(target) - Low32(next));
}

void WriteMember(CodeBlock* block, const void* object, const void* target) {
  MemberCode& code = block->member;
  code.movEcxImm = 0xB9;
  code.object = Low32(object);
  code.jmpRel = 0xE9;
  code.displacement = JumpDisplacement(target, &code + 1);
}

void WriteFirstArgument(CodeBlock* block, const void* object, const void* target) {
  FirstArgumentCode& code = block->firstArgument;
  PutBytes(code.pushReturnAddress, {0xFF, 0x34, 0x24});
  PutBytes(code.storeArgumentSlot, {0xC7, 0x44, 0x24, 0x04});
  code.object = Low32(object);
  code.jmpRel = 0xE9;
  code.displacement = JumpDisplacement(target, &code + 1);
}

void RegisterUnwindData(CodeBlock*) {}
void UnregisterUnwindData(CodeBlock*) {}

#endif

#pragma pack(pop)

CodeBlock* BlockAt(unsigned char* code) { return reinterpret_cast<CodeBlock*>(code); }

// Makes the block writable (and not executable) for as long as it lives,
// then executable and read-only again, with the instruction cache flushed
// over the code written meanwhile. So no page of the block is ever writable
// and executable at once. The block must not run on another thread while
// it is being written; its owner binds only when nothing runs through it.
class WritableBlock {
 public:
  explicit WritableBlock(unsigned char* code) : m_pCode(code) {
    DWORD dwOld = 0;
    m_bWritable = VirtualProtect(m_pCode, sizeof(CodeBlock), PAGE_READWRITE, &dwOld) != FALSE;
  }
  ~WritableBlock() { Protect(); }
  WritableBlock(const WritableBlock&) = delete;
  WritableBlock& operator=(const WritableBlock&) = delete;

  bool Writable() const { return m_bWritable; }
  CodeBlock* Block() const { return BlockAt(m_pCode); }

  // Executable again, and the written code flushed; null if the block
  // could not be made executable, so that no caller runs it.
  template <class T>
  void* Executable(T* code) {
    if (!Protect()) return nullptr;
    FlushInstructionCache(GetCurrentProcess(), code, sizeof(T));
    return code;
  }

 private:
  bool Protect() {
    if (m_bWritable) {
      DWORD dwOld = 0;
      m_bExecutable =
          VirtualProtect(m_pCode, sizeof(CodeBlock), PAGE_EXECUTE_READ, &dwOld) != FALSE;
      m_bWritable = false;
    }
    return m_bExecutable;
  }

  unsigned char* m_pCode;
  bool m_bWritable = false;
  bool m_bExecutable = false;
};

}  // namespace

CallbackThunk::CallbackThunk()
    : m_pCode(static_cast<unsigned char*>(
          VirtualAlloc(nullptr, sizeof(CodeBlock), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE))) {
  if (m_pCode == nullptr) return;
  RegisterUnwindData(BlockAt(m_pCode));
  // Executable and read-only from here on, except while a Bind writes.
  DWORD dwOld = 0;
  if (!VirtualProtect(m_pCode, sizeof(CodeBlock), PAGE_EXECUTE_READ, &dwOld)) {
    UnregisterUnwindData(BlockAt(m_pCode));
    VirtualFree(m_pCode, 0, MEM_RELEASE);
    m_pCode = nullptr;
  }
}

CallbackThunk::~CallbackThunk() {
  if (m_pCode == nullptr) return;
  UnregisterUnwindData(BlockAt(m_pCode));
  VirtualFree(m_pCode, 0, MEM_RELEASE);
}

void* CallbackThunk::BindMember(const void* object, const void* target) {
  if (m_pCode == nullptr || target == nullptr) return nullptr;
  WritableBlock block(m_pCode);
  if (!block.Writable()) return nullptr;
  WriteMember(block.Block(), object, target);
  return block.Executable(&block.Block()->member);
}

void* CallbackThunk::BindFirstArgument(const void* object, const void* target) {
  if (m_pCode == nullptr || target == nullptr) return nullptr;
  WritableBlock block(m_pCode);
  if (!block.Writable()) return nullptr;
  WriteFirstArgument(block.Block(), object, target);
  return block.Executable(&block.Block()->firstArgument);
}
