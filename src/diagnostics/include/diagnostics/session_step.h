// A step of the session start or close: one line in the log file and the same
// step in the session log, written together by one call.
#ifndef QVCTX_SRC_DIAGNOSTICS_SESSION_STEP_H_
#define QVCTX_SRC_DIAGNOSTICS_SESSION_STEP_H_

#include <string>

#include "diagnostics/log_file.h"

namespace qvctx {

// A step's two lines: the log-file line (a printf format when the step
// reports a value) and the session-log line without its level prefix (a
// value goes at its end).
struct StepLines {
  const char* file;
  const char* session;
};

// The level of both lines: "Info"/"Info - " or "ERROR"/"Error - ".
enum class StepLevel { kInfo, kError };

// Appends a step's session-log line: its level prefix, then `text`.
void AppendStepLine(StepLevel level, const std::string& text);

// Writes the step's log-file line, then appends its session-log line. Throws
// std::bad_alloc when memory is short.
void WriteStep(StepLevel level, const StepLines& step);

// The same for a step that reports a value: `file_value` fills the log-file
// line's format, `session_value` ends the session-log line. The two may show
// one number differently (signed in one, unsigned in the other).
template <typename FileValue>
void WriteStep(StepLevel level, const StepLines& step, FileValue file_value,
               const std::string& session_value) {
  const std::shared_ptr<CLogFile> log = GetLogFile();
  if (level == StepLevel::kInfo) {
    log->LogInfo(step.file, file_value);
  } else {
    log->LogError(step.file, file_value);
  }
  AppendStepLine(level, step.session + session_value);
}

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_SESSION_STEP_H_
