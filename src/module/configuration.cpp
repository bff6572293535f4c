#include "module/configuration.h"

#include <atomic>
#include <cstdint>
#include <cstring>

#include "base/mutex.h"
#include "diagnostics/log_file.h"
#include "module/configuration_test_helper.h"
#include "module/module_data.h"
#include "platform/platform.h"

namespace qvctx {

namespace {

// The buffers behind hostIpAddress and logfileName. They belong to the
// module image: zero-filled and handed out at load, never released, and gone
// with the image at unload, so a host that loads and unloads the library
// again and again leaks nothing, and the load cannot run out of memory.
char g_host_ip_address_buffer[kSettingBufferSize];
char g_log_file_name_buffer[kSettingBufferSize];

// The longest wait in each channel read that "readWaitMs" may ask for.
constexpr std::uint32_t kMaxReadWaitMs = 1000;

// A setting buffer emptied for a new load.
char* ZeroedBuffer(char (&buffer)[kSettingBufferSize]) {
  std::memset(buffer, 0, sizeof(buffer));
  return buffer;
}

std::int32_t ReadInt(const char* section, const char* key,
                     std::int32_t default_value) {
  return static_cast<std::int32_t>(port::ReadProfileInt(
      section, key, default_value, myModuleData.configFile));
}

void ReadText(const char* section, const char* key, const char* default_value,
              char* buffer) {
  port::ReadProfileString(section, key, default_value, buffer,
                          kSettingBufferSize, myModuleData.configFile);
}

void CopyName(const char* text, char (&field)[kPathSize]) {
  std::memset(field, 0, sizeof(field));
  std::strncpy(field, text, sizeof(field) - 1);
}

void CopySetting(char* destination, const char* text, std::size_t size) {
  std::strncpy(destination, text, size - 1);
  destination[size - 1] = '\0';
}

// Whether this load has read its configuration, and the lock of the settings
// in myModuleData that both the read and a log writer's creation write (the
// file names, logEnabled, logLevel): the first call reads under it, and
// ForceLogSettings writes under it, so a read of a new load and the last
// lines of an earlier load's reader never write a field at once. Both need no
// construction, so the load notification may store the flag whatever ran
// before it.
std::atomic<bool> g_configuration_read{false};
Mutex g_configuration_mutex;
std::atomic<void (*)()> g_read_hook{nullptr};  // the tests' seam

}  // namespace

bool ConfigFileExists() {
  try {
    return port::FileIsReadable(myModuleData.configFile);
  } catch (...) {
    // No memory to map the path: the file does not open.
    return false;
  }
}

void ChooseConfigFile() {
  static_assert(kPathSize == port::kMaxPathSize, "configFile is a path buffer");
  CopyName(kFirstConfigPath, myModuleData.configFile);
  if (ConfigFileExists()) return;
  // Looked up aside, so a failed lookup or join never leaves half a path.
  char path[kPathSize] = {};
  if (port::AppDataFolder(path) &&
      port::AppendToPath(path, kConfigPathInAppData)) {
    std::memcpy(myModuleData.configFile, path, sizeof(path));
  }
}

void ReadConfiguration() {
  // Only the low 16 bits of the port are kept.
  myModuleData.uiPort = static_cast<std::uint16_t>(
      static_cast<std::uint32_t>(ReadInt(kServerSection, kPortKey, 8888)) &
      0xFFFFU);
  char* ip = ZeroedBuffer(g_host_ip_address_buffer);
  ReadText(kServerSection, kIpKey, kDefaultIp, ip);
  myModuleData.hostIpAddress = ip;

  myModuleData.logEnabled = ReadInt(kCommonSection, kLogEnabledKey, 0);
  myModuleData.logLevel.store(ReadInt(kCommonSection, kLogLevelKey, 1),
                              std::memory_order_relaxed);
  myModuleData.logAppend = ReadInt(kCommonSection, kLogAppendKey, 1);
  myModuleData.iLogMax = ReadInt(kCommonSection, kLogLenMaxKey, 2048);
  char* log_file = ZeroedBuffer(g_log_file_name_buffer);
  ReadText(kCommonSection, kLogFileKey, "", log_file);
  myModuleData.logfileName = log_file;
  // The reader's wait in each read: only 1 to 1000 ms are taken; anything
  // else keeps the fixed cadence.
  const std::uint32_t read_wait =
      static_cast<std::uint32_t>(ReadInt(kCommonSection, kReadWaitKey, 0));
  myModuleData.read_wait_ms = read_wait <= kMaxReadWaitMs ? read_wait : 0;
  myModuleData.log_process_tag =
      ReadInt(kCommonSection, kLogProcessTagKey, 0) != 0;

  if (!port::ComputerName(myModuleData.hostComputerName, kPathSize)) {
    CopyName(kUnknownName, myModuleData.hostComputerName);
  }
  if (!port::UserName(myModuleData.hostUserName, kPathSize)) {
    CopyName(kUnknownName, myModuleData.hostUserName);
  }
}

void ArmConfigurationRead() noexcept {
  g_configuration_read.store(false, std::memory_order_release);
}

void ReadConfigurationOnce() noexcept {
  if (g_configuration_read.load(std::memory_order_acquire)) return;
  try {
    MutexLock hold(g_configuration_mutex);
    if (g_configuration_read.load(std::memory_order_relaxed)) return;
    try {
      if (void (*const hook)() = g_read_hook.load()) hook();
      ChooseConfigFile();
      ReadConfiguration();
    } catch (...) {
      // Settings not read keep their values, as a load that could not read.
    }
    g_configuration_read.store(true, std::memory_order_release);
  } catch (...) {
    // The lock cannot be had: the next call tries again.
  }
}

LogSettings ForceLogSettings() {
  MutexLock hold(g_configuration_mutex);
  CopySetting(myModuleData.configFile, kFirstConfigPath, kPathSize);
  if (myModuleData.logfileName == nullptr) {
    // Only when the load handling did not run (unit tests of the module).
    myModuleData.logfileName = ZeroedBuffer(g_log_file_name_buffer);
  }
  CopySetting(myModuleData.logfileName, kLogFilePath, kSettingBufferSize);
  myModuleData.logEnabled = 1;
  myModuleData.logLevel.store(kForcedLogLevel, std::memory_order_relaxed);

  LogSettings settings;
  settings.config_file = myModuleData.configFile;
  settings.log_file_name = myModuleData.logfileName;
  settings.log_level = &myModuleData.logLevel;
  settings.log_append = myModuleData.logAppend;
  settings.log_max = myModuleData.iLogMax;
  settings.host_ip_address = myModuleData.hostIpAddress;
  settings.port = myModuleData.uiPort;
  settings.host_computer_name = myModuleData.hostComputerName;
  settings.host_user_name = myModuleData.hostUserName;
  settings.process_tag = myModuleData.log_process_tag;
  return settings;
}

void SetConfigurationReadHookForTesting(void (*hook)()) {
  g_read_hook.store(hook);
}

void InstallLogSettings() { SetLogSettingsSource(&ForceLogSettings); }

}  // namespace qvctx
