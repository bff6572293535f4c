#include "module/module_entry.h"

#include <cstring>
#include <new>

#include "diagnostics/log_file.h"
#include "module/module_data.h"

namespace qvctx {

namespace {

// A zero-filled setting buffer holding `text`; null when memory is short.
char* NewSettingBuffer(const char* text) {
  char* buffer = new (std::nothrow) char[kSettingBufferSize]();
  if (buffer != nullptr) std::strncpy(buffer, text, kSettingBufferSize - 1);
  return buffer;
}

void ProcessAttach() {
  std::memset(myModuleData.configFile, 0, sizeof(myModuleData.configFile));
  std::strncpy(myModuleData.configFile, kFirstConfigPath, kPathSize - 1);
  myModuleData.hostIpAddress = NewSettingBuffer("127.0.0.1");
  myModuleData.logfileName = NewSettingBuffer("");
}

void ProcessDetach() {
  try {
    DestroyLogFile();
  } catch (...) {
    // Unloading never fails.
  }
}

}  // namespace

std::int32_t HandleModuleNotification(std::uint32_t reason) noexcept {
  if (reason == kProcessAttach) {
    ProcessAttach();
  } else if (reason == kProcessDetach) {
    ProcessDetach();
  }
  return 1;
}

}  // namespace qvctx
