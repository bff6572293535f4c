// Logger: where a part of the library writes its log lines, handed to it by
// whoever owns the writer, so the part itself reaches no writer on its own.
#ifndef QVCTX_SRC_DIAGNOSTICS_LOGGER_H_
#define QVCTX_SRC_DIAGNOSTICS_LOGGER_H_

#include <cstdarg>

#if defined(__GNUC__)
#define QVCTX_PRINTF_FORMAT(format_index, first_arg) \
  __attribute__((format(printf, format_index, first_arg)))
#else
#define QVCTX_PRINTF_FORMAT(format_index, first_arg)
#endif

namespace qvctx {

// The two kinds of line: info (shown from logLevel 1) and error (from 0).
enum class LogLineLevel { kInfo, kError };

class Logger {
 public:
  Logger() = default;
  Logger(const Logger&) = delete;
  Logger& operator=(const Logger&) = delete;

  // One line at info or error level. Never report a failure of the file;
  // may throw std::bad_alloc when the writer cannot be had.
  void LogInfo(const char* format, ...) QVCTX_PRINTF_FORMAT(2, 3);
  void LogError(const char* format, ...) QVCTX_PRINTF_FORMAT(2, 3);

  // The line of `format` filled from `args`, at `level`.
  virtual void LogV(LogLineLevel level, const char* format,
                    std::va_list args) = 0;

 protected:
  ~Logger() = default;
};

inline void Logger::LogInfo(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  LogV(LogLineLevel::kInfo, format, args);
  va_end(args);
}

inline void Logger::LogError(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  LogV(LogLineLevel::kError, format, args);
  va_end(args);
}

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_LOGGER_H_
