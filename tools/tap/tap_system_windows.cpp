#include <windows.h>

#include <cstdlib>

#include "tap_system.h"

namespace qvtap {

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
