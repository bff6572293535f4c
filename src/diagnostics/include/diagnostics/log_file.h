// CLogFile: the library's diagnostic log, one process-wide writer.
#ifndef QVCTX_SRC_DIAGNOSTICS_LOG_FILE_H_
#define QVCTX_SRC_DIAGNOSTICS_LOG_FILE_H_

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "base/thread_annotations.h"
#include "diagnostics/logger.h"
#include "diagnostics/messages.h"
#include "platform/platform.h"

namespace qvctx {

// Sizes of the message and line buffers of each level.
inline constexpr std::size_t kInfoBufferSize = 1024;
inline constexpr std::size_t kErrorBufferSize = 512;

// Room for the process tag, "[pid 4294967295 sid 4294967295] " at the most.
inline constexpr std::size_t kProcessTagSize = 40;

// The level that every new writer forces, so both kinds of line pass.
inline constexpr std::int32_t kForcedLogLevel = 3;

// What a writer is handed when it is created: the settings its banner prints,
// the file it opens and the level that gates each line. The texts are read
// only while the writer is created; the level is read for every line and
// must outlive the writer. The defaults are what a writer shows when no
// settings were handed over.
struct LogSettings {
  const char* config_file = kFirstConfigPath;
  const char* log_file_name = kLogFilePath;
  const std::atomic<std::int32_t>* log_level = nullptr;  // null: forced level
  std::int32_t log_append = 1;  // not 0: the file is appended to
  std::int32_t log_max = 2048;
  const char* host_ip_address = "";
  std::uint16_t port = 8888;
  const char* host_computer_name = "unknown";
  const char* host_user_name = "unknown";
  // Each line carries the process tag (FormatProcessTag) after its time.
  bool process_tag = false;
};

// The process tag of `process_id` in `session_id` into `tag`; its length.
std::size_t FormatProcessTag(char (&tag)[kProcessTagSize],
                             std::uint32_t process_id,
                             std::uint32_t session_id);

// Gives the settings of a writer about to be created; it runs under the lock
// that creates the writer. The layer that owns the settings installs it.
using LogSettingsSource = LogSettings (*)();

class CLogFile final : public Logger {
 public:
  // Opens the log file named by `settings` for appending (emptied first when
  // log_append is 0) and writes the banner. A file that cannot be opened
  // leaves a writer that drops every line. The file stays shared: writers of
  // other processes append to it too, and an operator may rename or delete
  // it while it is open (this writer then goes on in the renamed file; the
  // next writer creates a new one).
  explicit CLogFile(const LogSettings& settings);
  ~CLogFile();
  CLogFile(const CLogFile&) = delete;
  CLogFile& operator=(const CLogFile&) = delete;

  // One line at info level (needs logLevel >= 1) or error level (>= 0).
  // Never reports a failure.
  void LogV(LogLineLevel level, const char* format, std::va_list args) override;

  // Appends one finished line and its line end in one write, so it has
  // reached the file on return and no other writer's line lands inside it.
  void WriteLine(const char* line);

  // Writes the closing line and closes the file; later lines are dropped.
  void CloseLog();

  // CloseLog at a process end whose other threads the system ended wherever
  // they were, perhaps holding this writer's lock or the other processes'
  // append lock: only when this writer's lock is free, and the line only when
  // the append lock is free at once. Never waits.
  void CloseLogWithoutWaiting();

 private:
  template <std::size_t kBufferSize>
  void Log(std::int32_t threshold, const char* line_format, const char* format,
           std::va_list args);
  void WriteBanner(const LogSettings& settings);

  const std::atomic<std::int32_t>* level_;  // the gate of every line
  char tag_[kProcessTagSize] = {};  // in front of each message; often empty
  std::size_t tag_length_ = 0;
  port::RecursiveLock lock_;  // one line at a time; the close
  // None while closed.
  port::AppendFile file_ GUARDED_BY(lock_) = port::kNoAppendFile;
  // A write failed: drop lines until closed.
  bool failed_ GUARDED_BY(lock_) = false;
  // False only for the closing line at a process end.
  bool may_wait_ GUARDED_BY(lock_) = true;
  std::atomic<bool> open_{false};  // the gate's unlocked view of file_
};

// Installs where the next writers take their settings from (null: the
// defaults of LogSettings). Takes effect at the next creation.
void SetLogSettingsSource(LogSettingsSource source);

// The process-wide writer, created (with its banner) when none exists. Two
// threads asking at once get the same writer. The returned reference keeps it
// alive while the caller logs, even if it is destroyed meanwhile. Throws
// std::bad_alloc when it cannot be created.
std::shared_ptr<CLogFile> GetLogFile();

// The process-wide writer as a Logger: each line goes to GetLogFile()'s
// writer, created (with its banner) when none exists. What the module hands
// down to the parts whose lines go to whichever writer is current.
Logger& ProcessLogWriter();

// The process-wide writer when one exists, else null; never creates one.
std::shared_ptr<CLogFile> CurrentLogFile();

// Ends the process-wide writer: its closing line is written and the file
// closed, and the next GetLogFile creates a new one. Nothing when none exists.
void DestroyLogFile();

// Ends the process-wide writer at a process end whose other threads the
// system has already ended: takes no lock that is held, waits for nothing and
// frees nothing (CloseLogWithoutWaiting, and only when the slot is free).
void EndLogFileAtProcessExit();

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_LOG_FILE_H_
