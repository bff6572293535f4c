// qvctx-host: the sample host and the demo. It does what a real host does:
// loads the library by path, looks its functions up by name, registers both
// callbacks, starts a session, sends far-function calls from several threads
// and one bulk transfer, receives the answers and the client's events, prints
// the session log and closes. The platform is the simulator, loaded by path
// before the first ServerStartSession so qvctx binds the same one; its
// built-in client answers unless QVCTX_SIM_CONNECT bridges the channel to a
// remote client. Every answer is checked byte for byte.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "call_tracker.h"
#include "common/file_check.h"
#include "demo_run.h"
#include "host_library.h"
#include "host_options.h"
#include "host_report.h"
#include "host_system.h"
#include "qvctx_api.h"
#include "sim_control.h"
#include "size_sequence.h"

namespace qvctx_host {
namespace {

using qvctx_tools::FileIsReadable;

// The tracker the callbacks feed; set before they are registered, and the
// session is closed before it goes away.
CallTracker* g_tracker = nullptr;

void OnResult(const std::uint8_t* package, std::uint32_t length) {
  try {
    g_tracker->OnAnswer(package, length);
  } catch (...) {
    // Nothing may escape into the library's reader thread.
  }
}

void OnEvent(const std::uint8_t* package, std::uint32_t length) {
  try {
    g_tracker->OnEvent(package, length);
  } catch (...) {
  }
}

// `chosen` when given; otherwise the library beside this program, then in
// ../lib (the installed layout); the first candidate when neither exists, so
// the loader's message names it.
std::string LibraryPath(const std::string& chosen, const char* base_name) {
  if (!chosen.empty()) return chosen;
  const std::string folder = ExecutableFolder();
  const std::string name = LibraryFileName(base_name);
  const std::string beside = JoinPath(folder, name);
  const std::size_t separator = folder.find_last_of("/\\");
  const std::string parent = separator == std::string::npos ? ".."
                             : separator == 0 ? folder.substr(0, 1)  // the root
                                              : folder.substr(0, separator);
  const std::string installed = JoinPath(JoinPath(parent, "lib"), name);
  if (!FileIsReadable(beside) && FileIsReadable(installed)) {
    return installed;
  }
  return beside;
}

// ServerSessionLog's text, given back at once.
std::string FetchSessionLog(const QvctxApi& api) {
  const char* text = api.session_log();
  std::string copy = text != nullptr ? text : "";
  api.free_session_log();
  return copy;
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "qvctx-host: %s\n", what.c_str());
  return 1;
}

int HostMain(int argc, char** argv) {
  HostOptions options;
  std::string error;
  if (!ParseHostOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr,
                 "qvctx-host: %s\n(qvctx-host --help lists the options)\n",
                 error.c_str());
    return 2;
  }
  if (options.help) {
    std::fputs(HostUsage(), stdout);
    return 0;
  }

  // The simulator first: qvctx loads "wfapi64" by name at its first start
  // and then finds this one already in the process.
  HostLibrary simulator;
  if (!simulator.Open(LibraryPath(options.simulator, "wfapi64"))) {
    return Fail("cannot load the simulator " + simulator.path() + ": " +
                simulator.error());
  }
  SimControl sim;
  const std::string sim_missing = sim.Bind(simulator);
  if (!sim_missing.empty()) {
    return Fail(simulator.path() + " lacks " + sim_missing);
  }
  HostLibrary library;
  if (!library.Open(LibraryPath(options.library, "qvctx"))) {
    return Fail("cannot load the library " + library.path() + ": " +
                library.error());
  }
  QvctxApi api;
  const std::string missing = api.Bind(library);
  if (!missing.empty()) return Fail(library.path() + " lacks " + missing);

  HostReport report;
  report.options = options;
  report.library_path = library.path();
  report.simulator_path = simulator.path();
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
  const char* connect = std::getenv("QVCTX_SIM_CONNECT");
  const bool remote = connect != nullptr && *connect != '\0';
  const bool built_in = !remote && options.client == ClientChoice::kBuiltIn;
  // A remote client sends its events on its own schedule; the host counts
  // what comes and awaits nothing.
  report.events_awaited = built_in;
  report.remote_client = remote;
  if (!remote) {
    sim.reset();
    sim.set_built_in_client(built_in ? 1 : 0);
    // The host checks the answers, not the written bytes: keeping a copy of
    // them would grow with the run.
    sim.set_keep_written(0);
  }

  CallTracker tracker(
      SizeSequence::Draw(options.size_min, options.size_max, options.calls),
      options.bulk, built_in ? options.events : 0);
  g_tracker = &tracker;
  api.register_event(OnEvent);
  api.register_result(OnResult);
  const std::int32_t started = api.start_session();
  if (started == 0) {
    DemoRun run(options, api, sim, built_in, &tracker);
    report.outcome = run.Run();
  } else {
    report.outcome.send_failure =
        "ServerStartSession returned " + std::to_string(started);
  }
  report.start_log = FetchSessionLog(api);
  api.close_session();
  report.close_log = FetchSessionLog(api);
  report.tally = tracker.Snapshot();

  if (remote) {
    report.client = std::string("remote, bridged by the simulator to ") +
                    connect + " (QVCTX_SIM_CONNECT)";
  } else if (built_in) {
    report.client = "the simulator's built-in client (answered " +
                    std::to_string(sim.answered_count()) + " packages, " +
                    std::to_string(sim.unframed_bytes()) +
                    " unframed bytes skipped)";
  } else {
    report.client = "none: the built-in client stays off, nothing answers";
  }
  report.log_file = LogFilePath();
  report.log_file_readable = FileIsReadable(report.log_file);
  if (options.json) {
    PrintJsonReport(report);
  } else {
    PrintTextReport(report);
  }
  return ReportProblems(report).empty() ? 0 : 1;
}

}  // namespace
}  // namespace qvctx_host

int main(int argc, char** argv) { return qvctx_host::HostMain(argc, argv); }
