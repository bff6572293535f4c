#include "module/module_entry.h"

#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "module/configuration.h"

namespace qvctx {

namespace {

// Chooses and reads the configuration file. Nothing here logs, starts a
// thread, opens the channel or waits.
void ProcessAttach() {
  InstallLogSettings();
  try {
    ChooseConfigFile();
    ReadConfiguration();
  } catch (...) {
    // Loading never fails; settings not read keep their values.
  }
}

// Ends the log writer, if any, with its closing line, and the session-log
// lines nobody fetched. The reader thread and the channel are left alone: the
// host closes the session before unloading.
void ProcessDetach() {
  try {
    DestroyLogFile();
  } catch (...) {
    // Unloading never fails.
  }
  DiscardSessionLogLines();
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
