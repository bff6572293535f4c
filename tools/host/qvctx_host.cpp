// qvctx-host: the sample host and the demo. It does what a real host does:
// loads the library by path, looks its functions up by name, registers both
// callbacks, starts a session, sends far-function calls from several threads
// and one bulk transfer, receives the answers and the client's events, prints
// the session log and closes. The platform is the simulator, loaded by path
// before the first ServerStartSession so qvctx binds the same one; its
// built-in client answers unless QVCTX_SIM_CONNECT bridges the channel to a
// remote client. Every answer is checked byte for byte. --reconnect runs
// several sessions across client drops with the recovery a host should
// follow; --probe listens on any platform library without the simulator's
// controls (probe_run.cpp).
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "call_tracker.h"
#include "common/file_check.h"
#include "demo_package.h"
#include "demo_run.h"
#include "host_library.h"
#include "host_options.h"
#include "host_report.h"
#include "host_system.h"
#include "probe_run.h"
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

// A library that does not load, or a start that failed: no session.
int NoSession(const std::string& what) {
  std::fprintf(stderr, "qvctx-host: %s\n", what.c_str());
  return kExitNoSession;
}

// How long the recipe waits between two starts while the client is not back.
constexpr std::chrono::milliseconds kRestartPause(100);

// Registers both callbacks (a close cleared them) and starts; while the
// start fails (the client is not back yet) closes and tries again after a
// pause, for up to `seconds`. The recipe's last steps after a close.
std::int32_t StartSession(const QvctxApi& api, double seconds,
                          std::uint32_t* attempts) {
  const Clock::time_point give_up =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(
                         std::chrono::duration<double>(seconds));
  for (*attempts = 1;; ++*attempts) {
    api.register_event(OnEvent);
    api.register_result(OnResult);
    const std::int32_t started = api.start_session();
    if (started == 0 || Clock::now() >= give_up) return started;
    api.close_session();
    std::this_thread::sleep_for(kRestartPause);
  }
}

// What a host sees when its client has gone: the next send fails. Returns
// the result of a small far-function call.
std::int32_t SendAfterDrop(const QvctxApi& api) {
  std::vector<std::uint8_t> package;
  LayOutCall(SlotMessageId(0, false), kHeaderSize, &package);
  return api.send_call(package.data(),
                       static_cast<std::int32_t>(package.size()));
}

// Loads qvctx and looks its exports up; an empty string, or why it failed.
std::string LoadQvctx(const HostOptions& options, HostLibrary* library,
                      QvctxApi* api) {
  if (!library->Open(LibraryPath(options.library, "qvctx"))) {
    return "cannot load the library " + library->path() + ": " +
           library->error();
  }
  const std::string missing = api->Bind(*library);
  return missing.empty() ? missing : library->path() + " lacks " + missing;
}

int RunProbeMode(const HostOptions& options) {
  // Only a library asked for by path is loaded first; otherwise qvctx finds
  // the platform's library itself, as on a real server.
  HostLibrary platform;
  if (!options.simulator.empty() && !platform.Open(options.simulator)) {
    return NoSession("cannot load the platform library " + platform.path() +
                     ": " + platform.error());
  }
  HostLibrary library;
  QvctxApi api;
  const std::string not_loaded = LoadQvctx(options, &library, &api);
  if (!not_loaded.empty()) return NoSession(not_loaded);
  return RunProbe(
      options, api, library.path(),
      platform.is_open() ? platform.path() : "the one qvctx finds by name");
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
  if (options.probe_seconds > 0) return RunProbeMode(options);

  // The simulator first: qvctx loads "wfapi64" by name at its first start
  // and then finds this one already in the process.
  HostLibrary simulator;
  if (!simulator.Open(LibraryPath(options.simulator, "wfapi64"))) {
    return NoSession("cannot load the simulator " + simulator.path() + ": " +
                     simulator.error());
  }
  SimControl sim;
  const std::string sim_missing = sim.Bind(simulator);
  if (!sim_missing.empty()) {
    return NoSession(simulator.path() + " lacks " + sim_missing +
                     " (qvctx-host --probe needs none of them)");
  }
  HostLibrary library;
  QvctxApi api;
  const std::string not_loaded = LoadQvctx(options, &library, &api);
  if (!not_loaded.empty()) return NoSession(not_loaded);

  HostReport base;
  base.options = options;
  base.library_path = library.path();
  base.simulator_path = simulator.path();
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
  const char* connect = std::getenv("QVCTX_SIM_CONNECT");
  const bool remote = connect != nullptr && *connect != '\0';
  const bool built_in = !remote && options.client == ClientChoice::kBuiltIn;
  // A remote client sends its events on its own schedule; the host counts
  // what comes and awaits nothing.
  base.events_awaited = built_in;
  base.remote_client = remote;
  if (!remote) {
    sim.reset();
    sim.set_built_in_client(built_in ? 1 : 0);
    // The host checks the answers, not the written bytes: keeping a copy of
    // them would grow with the run.
    sim.set_keep_written(0);
  } else {
    base.client = std::string("remote, bridged by the simulator to ") +
                  connect + " (QVCTX_SIM_CONNECT)";
  }

  const std::vector<std::uint32_t> sizes =
      SizeSequence::Draw(options.size_min, options.size_max, options.calls);
  // Each session's tracker lives to the end: the reader may still call into
  // one until its session is closed.
  std::vector<std::unique_ptr<CallTracker>> trackers;
  std::vector<HostReport> sessions;
  for (std::uint32_t number = 1; number <= options.sessions; ++number) {
    HostReport report = base;
    report.session = number;
    trackers.push_back(std::make_unique<CallTracker>(
        sizes, options.bulk, built_in ? options.events : 0));
    if (number > 1) {
      // The client goes away, as when its user disconnects; the host finds
      // out when a send fails, and follows the recipe: close, and once the
      // client is back register both callbacks again and start.
      sim.set_client_connected(0);
      report.send_after_drop = SendAfterDrop(api);
      api.close_session();
      sessions.back().close_log = api.FetchSessionLog();
      sim.set_client_connected(1);
    }
    g_tracker = trackers.back().get();
    // Only a start after a drop waits for the client to come back.
    const std::int32_t started = StartSession(
        api, number > 1 ? options.timeout_seconds : 0, &report.start_attempts);
    report.started = started == 0;
    if (report.started) {
      DemoRun run(options, api, sim, built_in, g_tracker);
      report.outcome = run.Run();
    } else {
      report.outcome.send_failure =
          "ServerStartSession returned " + std::to_string(started);
    }
    report.start_log = api.FetchSessionLog();
    if (!report.started) {
      const std::string why = SessionLogErrors(report.start_log);
      if (!why.empty()) report.outcome.send_failure += ": " + why;
    }
    report.tally = g_tracker->Snapshot();
    sessions.push_back(report);
    if (!report.started) break;
  }
  api.close_session();
  sessions.back().close_log = api.FetchSessionLog();

  for (HostReport& report : sessions) {
    if (built_in) {
      report.client = "the simulator's built-in client (answered " +
                      std::to_string(sim.answered_count()) + " packages, " +
                      std::to_string(sim.unframed_bytes()) +
                      " unframed bytes skipped)";
    } else if (!remote) {
      report.client = "none: the built-in client stays off, nothing answers";
    }
    report.log_file = LogFilePath();
    report.log_file_readable = FileIsReadable(report.log_file);
  }
  if (!options.reconnect) {
    if (options.json) {
      PrintJsonReport(sessions.back());
    } else {
      PrintTextReport(sessions.back());
    }
  } else if (options.json) {
    PrintReconnectJson(sessions);
  } else {
    PrintReconnectText(sessions);
  }
  if (!sessions.back().started) {
    std::fprintf(stderr, "qvctx-host: the session could not start: %s\n",
                 sessions.back().outcome.send_failure.c_str());
    return kExitNoSession;
  }
  return AllProblems(sessions).empty() ? 0 : 1;
}

}  // namespace
}  // namespace qvctx_host

int main(int argc, char** argv) { return qvctx_host::HostMain(argc, argv); }
