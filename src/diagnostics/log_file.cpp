#include "diagnostics/log_file.h"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>

#include "base/mutex.h"
#include "base/no_destructor.h"
#include "diagnostics/log_file_test_helper.h"

namespace qvctx {

namespace {

constexpr std::int32_t kInfoThreshold = 1;
constexpr std::int32_t kErrorThreshold = 0;

// The gate of a writer handed no level of its own.
const std::atomic<std::int32_t> kForcedLevel{kForcedLogLevel};

std::atomic<LogSettingsSource> g_settings_source{nullptr};

// The process-wide writer and the lock that creates, hands out and ends it.
// Creation and ending write lines under this lock, so a new writer's banner
// never lands before the previous writer's closing line.
struct WriterSlot {
  Mutex mutex;
  std::shared_ptr<CLogFile> writer GUARDED_BY(mutex);
};

WriterSlot& Slot() {
  static NoDestructor<WriterSlot> slot;
  return *slot;
}

// Lines to whichever writer is current; it holds nothing of its own.
class CurrentWriter final : public Logger {
 public:
  void LogV(LogLineLevel level, const char* format,
            std::va_list args) override {
    GetLogFile()->LogV(level, format, args);
  }
};

// The clock of the log lines; tests replace it.
std::atomic<port::TimeOfDay (*)()> g_time_of_day{&port::LocalTimeOfDay};

}  // namespace

CLogFile::CLogFile(const LogSettings& settings)
    : level_(settings.log_level != nullptr ? settings.log_level
                                           : &kForcedLevel) {
  if (settings.process_tag) {
    tag_length_ = FormatProcessTag(tag_, port::CurrentProcessId(),
                                   port::CurrentSessionId());
  }
  file_ =
      port::OpenAppendFile(settings.log_file_name, settings.log_append == 0);
  if (file_ == port::kNoAppendFile) return;
  open_.store(true, std::memory_order_release);
  WriteBanner(settings);
}

CLogFile::~CLogFile() { port::CloseAppendFile(file_); }

void CLogFile::WriteBanner(const LogSettings& settings) {
  const char* ip =
      settings.host_ip_address != nullptr ? settings.host_ip_address : "";
  LogInfo("%s", kBannerBegin);
  LogInfo(kBannerConfigFile, settings.config_file);
  LogInfo(kBannerLogFileName, settings.log_file_name);
  LogInfo(kBannerLogLevel, static_cast<int>(level_->load()));
  LogInfo(kBannerLogAppend, static_cast<int>(settings.log_append));
  LogInfo(kBannerLogMax, static_cast<int>(settings.log_max));
  LogInfo(kBannerHostIp, ip);
  LogInfo(kBannerPort, static_cast<int>(settings.port));
  LogInfo(kBannerComputerName, settings.host_computer_name);
  LogInfo(kBannerUserName, settings.host_user_name);
}

void CLogFile::LogV(LogLineLevel level, const char* format, std::va_list args) {
  if (level == LogLineLevel::kInfo) {
    Log<kInfoBufferSize>(kInfoThreshold, kInfoLineFormat, format, args);
  } else {
    Log<kErrorBufferSize>(kErrorThreshold, kErrorLineFormat, format, args);
  }
}

std::size_t FormatProcessTag(char (&tag)[kProcessTagSize],
                             std::uint32_t process_id,
                             std::uint32_t session_id) {
  const int length = std::snprintf(tag, sizeof(tag), kProcessTagFormat,
                                   static_cast<unsigned>(process_id),
                                   static_cast<unsigned>(session_id));
  if (length < 0 || static_cast<std::size_t>(length) >= sizeof(tag)) {
    tag[0] = '\0';
    return 0;
  }
  return static_cast<std::size_t>(length);
}

// Both buffers live in this frame: a log line never touches the heap. A
// message too long for the line is cut at the end of the line buffer, which
// a process tag lengthens by its own length, so it cuts no message shorter.
template <std::size_t kBufferSize>
void CLogFile::Log(std::int32_t threshold, const char* line_format,
                   const char* format, std::va_list args) {
  if (!open_.load(std::memory_order_acquire) ||
      level_->load(std::memory_order_relaxed) < threshold) {
    return;
  }
  char message[kBufferSize];
  if (std::vsnprintf(message, sizeof(message), format, args) < 0) {
    message[0] = '\0';
  }
  const port::TimeOfDay now = g_time_of_day.load(std::memory_order_relaxed)();
  char line[kBufferSize + kProcessTagSize];
  if (std::snprintf(line, kBufferSize + tag_length_, line_format, now.hour,
                    now.minute, now.second, now.millisecond, tag_,
                    message) < 0) {
    return;
  }
  WriteLine(line);
}

void CLogFile::WriteLine(const char* line) {
  port::LockGuard guard(lock_);
  if (file_ == port::kNoAppendFile || failed_) return;
  // One write per line: lines of other writers, in this process or
  // another, never land inside it, and it has reached the file on return.
  if (!port::AppendLine(file_, line, may_wait_)) failed_ = true;
}

void CLogFile::CloseLog() {
  port::LockGuard guard(lock_);
  LogInfo("%s", kLogClosingLine);
  open_.store(false, std::memory_order_release);
  port::CloseAppendFile(file_);
  file_ = port::kNoAppendFile;
}

void CLogFile::CloseLogWithoutWaiting() {
  if (!lock_.TryLock()) return;
  may_wait_ = false;
  CloseLog();
  lock_.Unlock();
}

void SetLogSettingsSource(LogSettingsSource source) {
  g_settings_source.store(source);
}

std::shared_ptr<CLogFile> GetLogFile() {
  WriterSlot& slot = Slot();
  MutexLock hold(slot.mutex);
  if (!slot.writer) {
    const LogSettingsSource source = g_settings_source.load();
    slot.writer = std::make_shared<CLogFile>(source != nullptr ? source()
                                                               : LogSettings{});
  }
  return slot.writer;
}

Logger& ProcessLogWriter() {
  static NoDestructor<CurrentWriter> writer;
  return *writer;
}

std::shared_ptr<CLogFile> CurrentLogFile() {
  WriterSlot& slot = Slot();
  MutexLock hold(slot.mutex);
  return slot.writer;
}

void SetTimeOfDayForTesting(port::TimeOfDay (*clock)()) {
  g_time_of_day.store(clock != nullptr ? clock : &port::LocalTimeOfDay);
}

void DestroyLogFile() {
  WriterSlot& slot = Slot();
  MutexLock hold(slot.mutex);
  if (!slot.writer) return;
  slot.writer->CloseLog();
  slot.writer.reset();
}

void EndLogFileAtProcessExit() {
  WriterSlot& slot = Slot();
  if (!slot.mutex.TryLock()) return;
  // The writer is closed, not released: freeing takes the heap's lock, which
  // an ended thread may hold, and the process's end frees it all.
  if (slot.writer) slot.writer->CloseLogWithoutWaiting();
  slot.mutex.Unlock();
}

}  // namespace qvctx
