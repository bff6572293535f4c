#include "diagnostics/session_step.h"

#include "diagnostics/messages.h"
#include "diagnostics/session_log.h"

namespace qvctx {

void AppendStepLine(StepLevel level, const std::string& text) {
  AppendSessionLogLine(
      (level == StepLevel::kInfo ? kSessionInfoPrefix : kSessionErrorPrefix) +
      text);
}

void WriteStep(StepLevel level, const StepLines& step) {
  const std::shared_ptr<CLogFile> log = GetLogFile();
  if (level == StepLevel::kInfo) {
    log->LogInfo("%s", step.file);
  } else {
    log->LogError("%s", step.file);
  }
  AppendStepLine(level, step.session);
}

}  // namespace qvctx
