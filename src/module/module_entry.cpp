#include "module/module_entry.h"

#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "module/configuration.h"

namespace qvctx {

namespace {

// Runs under the system's loader lock, so it only stores two values: where
// log writers take their settings from, and that the configuration is still
// to be read, which the first exported call does (ReadConfigurationOnce).
// Nothing here logs, reads a file, calls into another library, starts a
// thread, opens the channel or waits.
void ProcessAttach() {
  InstallLogSettings();
  ArmConfigurationRead();
}

// Ends the log writer, if any, with its closing line, and the session-log
// lines nobody fetched. The reader thread and the channel are left alone: the
// host closes the session before unloading. At a process end the system has
// ended every other thread wherever it was, perhaps holding a lock of ours,
// so nothing that could wait runs: the closing line only when its locks are
// free at once, and nothing freed.
void ProcessDetach(bool process_ending) {
  if (process_ending) {
    EndLogFileAtProcessExit();
    return;
  }
  try {
    DestroyLogFile();
  } catch (...) {
    // Unloading never fails.
  }
  DiscardSessionLogLines();
}

}  // namespace

std::int32_t HandleModuleNotification(std::uint32_t reason,
                                      bool process_ending) noexcept {
  if (reason == kProcessAttach) {
    ProcessAttach();
  } else if (reason == kProcessDetach) {
    ProcessDetach(process_ending);
  }
  return 1;
}

}  // namespace qvctx
