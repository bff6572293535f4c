#include "diagnostics/log_file.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <mutex>
#include <new>

#include "diagnostics/log_file_test_helper.h"
#include "module/module_data.h"
#include "module/no_destructor.h"

namespace qvctx {

namespace {

constexpr std::int32_t kInfoThreshold = 1;
constexpr std::int32_t kErrorThreshold = 0;
// The level that every new writer forces, so both kinds of line pass.
constexpr std::int32_t kForcedLogLevel = 3;

// The process-wide writer and the lock that creates, hands out and ends it.
// Creation and ending write lines under this lock, so a new writer's banner
// never lands before the previous writer's closing line.
struct WriterSlot {
  std::mutex mutex;
  std::shared_ptr<CLogFile> writer;
};

WriterSlot& Slot() {
  static NoDestructor<WriterSlot> slot;
  return *slot;
}

// The clock of the log lines; tests replace it.
std::atomic<port::TimeOfDay (*)()> g_time_of_day{&port::LocalTimeOfDay};

void CopySetting(char* destination, const char* text, std::size_t size) {
  std::strncpy(destination, text, size - 1);
  destination[size - 1] = '\0';
}

}  // namespace

CLogFile::CLogFile() {
  CopySetting(myModuleData.configFile, kFirstConfigPath, kPathSize);
  if (myModuleData.logfileName == nullptr) {
    // Only when the load handling did not run (unit tests of the core).
    myModuleData.logfileName = new char[kSettingBufferSize]();
  }
  CopySetting(myModuleData.logfileName, kLogFilePath, kSettingBufferSize);
  myModuleData.logEnabled = 1;
  myModuleData.logLevel.store(kForcedLogLevel, std::memory_order_relaxed);

  file_ = port::OpenTextFileForWriting(myModuleData.logfileName,
                                       myModuleData.logAppend != 0);
  if (file_ == nullptr) return;
  open_.store(true, std::memory_order_release);
  WriteBanner();
}

CLogFile::~CLogFile() {
  if (file_ != nullptr) std::fclose(file_);
}

void CLogFile::WriteBanner() {
  const char* ip = myModuleData.hostIpAddress != nullptr
                       ? myModuleData.hostIpAddress
                       : "";
  LogInfo("====== BEGIN:: qvRemote CITRIX module =========== ");
  LogInfo("Configfile= %s", myModuleData.configFile);
  LogInfo("logfileName= %s", myModuleData.logfileName);
  LogInfo("logLevel= %d", static_cast<int>(myModuleData.logLevel.load()));
  LogInfo("logAppend= %d", static_cast<int>(myModuleData.logAppend));
  LogInfo("iLogMax=%d", static_cast<int>(myModuleData.iLogMax));
  LogInfo("hostIpAddress=%s", ip);
  LogInfo("uiPort=%d", static_cast<int>(myModuleData.uiPort));
  LogInfo("hostComputerName=%s", myModuleData.hostComputerName);
  LogInfo("hostUserName=%s", myModuleData.hostUserName);
}

void CLogFile::LogInfo(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  Log<kInfoBufferSize>(kInfoThreshold, "Info - %02d:%02d:%02d:%03d \t%s",
                       format, args);
  va_end(args);
}

void CLogFile::LogError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  Log<kErrorBufferSize>(kErrorThreshold, "ERROR - %02d:%02d:%02d:%03d \t%s",
                        format, args);
  va_end(args);
}

// Both buffers live in this frame: a log line never touches the heap. A
// message too long for the line is cut at the end of the line buffer.
template <std::size_t kBufferSize>
void CLogFile::Log(std::int32_t threshold, const char* line_format,
                   const char* format, std::va_list args) {
  if (!open_.load(std::memory_order_acquire) ||
      myModuleData.logLevel.load(std::memory_order_relaxed) < threshold) {
    return;
  }
  char message[kBufferSize];
  if (std::vsnprintf(message, sizeof(message), format, args) < 0) {
    message[0] = '\0';
  }
  const port::TimeOfDay now = g_time_of_day.load(std::memory_order_relaxed)();
  char line[kBufferSize];
  if (std::snprintf(line, sizeof(line), line_format, now.hour, now.minute,
                    now.second, now.millisecond, message) < 0) {
    return;
  }
  WriteLine(line);
}

void CLogFile::WriteLine(const char* line) {
  port::LockGuard guard(lock_);
  if (file_ == nullptr || failed_) return;
  if (std::fputs(line, file_) < 0 || std::fputc('\n', file_) == EOF ||
      std::fflush(file_) != 0) {
    failed_ = true;
  }
}

void CLogFile::CloseLog() {
  port::LockGuard guard(lock_);
  LogInfo("%s", kLogClosingLine);
  open_.store(false, std::memory_order_release);
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

std::shared_ptr<CLogFile> GetLogFile() {
  WriterSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.mutex);
  if (!slot.writer) slot.writer = std::make_shared<CLogFile>();
  return slot.writer;
}

void SetTimeOfDayForTesting(port::TimeOfDay (*clock)()) {
  g_time_of_day.store(clock != nullptr ? clock : &port::LocalTimeOfDay);
}

void DestroyLogFile() {
  WriterSlot& slot = Slot();
  std::lock_guard<std::mutex> hold(slot.mutex);
  if (!slot.writer) return;
  slot.writer->CloseLog();
  slot.writer.reset();
}

}  // namespace qvctx
