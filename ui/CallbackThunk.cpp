#include "ui/CallbackThunk.h"

#include <windows.h>

#include <cstdint>

namespace {

const SIZE_T kBlockSize = 36;
const SIZE_T kMemberOffset = 4;  // mov ecx, object; jmp target
const SIZE_T kMemberSize = 10;
const SIZE_T kStackOffset = 14;  // push [esp]; mov [esp+4], object; jmp target
const SIZE_T kStackSize = 16;

void PutDword(unsigned char* at, std::uint32_t value) { std::memcpy(at, &value, sizeof(value)); }

// Displacement of a 32-bit relative jump whose next instruction is at next.
std::uint32_t JumpDisplacement(const void* target, const unsigned char* next) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(target) -
                                    reinterpret_cast<std::uintptr_t>(next));
}

std::uint32_t Address(const void* object) {
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(object));
}

}  // namespace

CallbackThunk::CallbackThunk()
    : m_pCode(static_cast<unsigned char*>(
          VirtualAlloc(nullptr, kBlockSize, MEM_COMMIT, PAGE_EXECUTE_READWRITE))) {}

CallbackThunk::~CallbackThunk() {
  if (m_pCode != nullptr) VirtualFree(m_pCode, 0, MEM_RELEASE);
}

void* CallbackThunk::BindMember(const void* object, const void* target) {
  if (m_pCode == nullptr || target == nullptr) return nullptr;
  unsigned char* code = m_pCode + kMemberOffset;
  code[0] = 0xB9;  // mov ecx, imm32
  PutDword(code + 1, Address(object));
  code[5] = 0xE9;  // jmp rel32
  PutDword(code + 6, JumpDisplacement(target, code + kMemberSize));
  FlushInstructionCache(GetCurrentProcess(), code, kMemberSize);
  return code;
}

void* CallbackThunk::BindFirstArgument(const void* object, const void* target) {
  if (m_pCode == nullptr || target == nullptr) return nullptr;
  unsigned char* code = m_pCode + kStackOffset;
  // push dword [esp]: a second copy of the return address ...
  code[0] = 0xFF;
  code[1] = 0x34;
  code[2] = 0x24;
  // ... mov dword [esp+4], imm32: ... whose old slot now carries the object.
  code[3] = 0xC7;
  code[4] = 0x44;
  code[5] = 0x24;
  code[6] = 0x04;
  PutDword(code + 7, Address(object));
  code[11] = 0xE9;  // jmp rel32
  PutDword(code + 12, JumpDisplacement(target, code + kStackSize));
  FlushInstructionCache(GetCurrentProcess(), code, kStackSize);
  return code;
}
