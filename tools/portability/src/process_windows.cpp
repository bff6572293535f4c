#include <windows.h>

#include "qvctx_port/process.h"

namespace qvctx_port {

namespace {

// The module that holds `address`; null when none does.
HMODULE ModuleOf(const void* address) {
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                              GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                          static_cast<LPCSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

}  // namespace

std::uint32_t LastError() { return ::GetLastError(); }

void SetLastError(std::uint32_t code) { ::SetLastError(code); }

std::string OwnModulePath() {
  const HMODULE self = ModuleOf(reinterpret_cast<const void*>(&OwnModulePath));
  if (self == nullptr) return "";
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(path, length);
}

bool IsInOwnModule(const void* address) {
  const HMODULE own = ModuleOf(reinterpret_cast<const void*>(&OwnModulePath));
  return own != nullptr && ModuleOf(address) == own;
}

std::uint32_t ProcessId() { return GetCurrentProcessId(); }

bool SessionId(std::uint32_t* id) {
  DWORD session = 0;
  if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) return false;
  *id = session;
  return true;
}

}  // namespace qvctx_port
