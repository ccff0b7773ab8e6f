#include "tests/common/FakeShell.h"

#include <shellapi.h>

#include <mutex>

namespace fakeshell {
namespace {

std::mutex g_mutex;
std::vector<Call> g_calls;
BOOL g_bResult = TRUE;

BOOL WINAPI FakeShellExecuteExA(SHELLEXECUTEINFOA* pInfo) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.push_back({pInfo->cbSize, pInfo->fMask, pInfo->hwnd, pInfo->lpVerb ? pInfo->lpVerb : "",
                     pInfo->lpFile ? pInfo->lpFile : "", pInfo->lpParameters != nullptr,
                     pInfo->lpDirectory != nullptr, pInfo->nShow});
  return g_bResult;
}

}  // namespace

std::vector<Call> Calls() {
  std::lock_guard<std::mutex> lock(g_mutex);
  return g_calls;
}

void Reset(BOOL bResult) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_calls.clear();
  g_bResult = bResult;
}

}  // namespace fakeshell

// The import slot through which the code calls ShellExecuteExA. Defined
// here, the linker takes it instead of the one of shell32's import library.
#if defined(__x86_64__)
#define VEXORIN_SHELL_EXECUTE_SLOT "__imp_ShellExecuteExA"
#else
#define VEXORIN_SHELL_EXECUTE_SLOT "__imp__ShellExecuteExA@4"
#endif
extern "C" {
BOOL(WINAPI* g_pfnShellExecuteExA)
(SHELLEXECUTEINFOA*)asm(VEXORIN_SHELL_EXECUTE_SLOT) = fakeshell::FakeShellExecuteExA;
}
