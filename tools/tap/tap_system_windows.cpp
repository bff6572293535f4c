#include <windows.h>

#include <cstdlib>

#include "tap_system.h"

namespace qvtap {

std::uint32_t LastError() { return ::GetLastError(); }

void SetLastError(std::uint32_t code) { ::SetLastError(code); }

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

bool IsOwnCode(const void* address) {
  const HMODULE own = ModuleOf(reinterpret_cast<const void*>(&OwnPath));
  return own != nullptr && ModuleOf(address) == own;
}

std::string OwnPath() {
  const HMODULE self = ModuleOf(reinterpret_cast<const void*>(&OwnPath));
  if (self == nullptr) return "";
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(path, length);
}

std::string Environment(const char* name) {
  char value[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  if (length == 0 || length >= sizeof value) return "";
  return std::string(value, length);
}

std::string DefaultTargetPath() {
  const std::string root = Environment("SystemRoot");
  if (!root.empty()) return root + "\\System32\\wfapi64.dll";
  char folder[MAX_PATH];
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return std::string(folder, length) + "\\wfapi64.dll";
}

void Announce(const std::string& text) {
  OutputDebugStringA((text + "\n").c_str());
}

}  // namespace qvtap
