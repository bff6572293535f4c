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
// controls, and with --send proves a round trip (probe_run.cpp).
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
#include "host_options.h"
#include "host_report.h"
#include "host_system.h"
#include "probe_run.h"
#include "qvctx_api.h"
#include "qvctx_port/paths.h"
#include "qvctx_port/shared_library.h"
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
  const std::string folder = qvctx_port::ExecutableFolder();
  const std::string name = qvctx_port::LibraryFileName(base_name);
  const std::string beside = qvctx_port::JoinPath(folder, name);
  const std::size_t separator = folder.find_last_of("/\\");
  const std::string parent = separator == std::string::npos ? ".."
                             : separator == 0 ? folder.substr(0, 1)  // the root
                                              : folder.substr(0, separator);
  const std::string installed =
      qvctx_port::JoinPath(qvctx_port::JoinPath(parent, "lib"), name);
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
  LayOutCall(SlotMessageId(0, false), qvctx::kPackageHeadSize, &package);
  return api.send_call(package.data(),
                       static_cast<std::int32_t>(package.size()));
}

// Loads qvctx and looks its exports up; an empty string, or why it failed.
std::string LoadQvctx(const HostOptions& options,
                      qvctx_port::SharedLibrary* library, QvctxApi* api) {
  if (!library->Open(LibraryPath(options.library, "qvctx"))) {
    return "cannot load the library " + library->path() + ": " +
           library->error();
  }
  const std::string missing = api->Bind(*library);
  return missing.empty() ? missing : library->path() + " lacks " + missing;
}

int RunProbeMode(const HostOptions& options) {
  std::vector<std::uint8_t> package;
  if (!options.send_file.empty()) {
    std::string error;
    package = ReadPackageFile(options.send_file, &error);
    if (package.empty()) {
      std::fprintf(stderr, "qvctx-host: %s\n", error.c_str());
      return 2;
    }
  }
  // Only a library asked for by path is loaded first; otherwise qvctx finds
  // the platform's library itself, as on a real server.
  qvctx_port::SharedLibrary platform;
  if (!options.simulator.empty() && !platform.Open(options.simulator)) {
    return NoSession("cannot load the platform library " + platform.path() +
                     ": " + platform.error());
  }
  // A round trip against the simulator needs its client to answer; the
  // platform's own library has no such switch, and on a server the client
  // answers by itself.
  const auto built_in_client =
      platform.Lookup<decltype(&::WfSimSetBuiltInClient)>(
          "WfSimSetBuiltInClient");
  if (!package.empty() && built_in_client != nullptr) {
    built_in_client(options.client == ClientChoice::kBuiltIn ? 1 : 0);
  }
  qvctx_port::SharedLibrary library;
  QvctxApi api;
  const std::string not_loaded = LoadQvctx(options, &library, &api);
  if (!not_loaded.empty()) return NoSession(not_loaded);
  return RunProbe(
      options, api, library.path(),
      platform.is_open() ? platform.path() : "the one qvctx finds by name",
      package);
}

// The two libraries a run loads and what it looks up in them.
struct Libraries {
  qvctx_port::SharedLibrary simulator;
  SimControl sim;
  qvctx_port::SharedLibrary qvctx;
  QvctxApi api;
};

// The simulator first: qvctx loads "wfapi64" by name at its first start and
// then finds this one already in the process. An empty string, or why the
// run cannot go on.
std::string LoadLibraries(const HostOptions& options, Libraries* loaded) {
  qvctx_port::SharedLibrary& simulator = loaded->simulator;
  if (!simulator.Open(LibraryPath(options.simulator, "wfapi64"))) {
    return "cannot load the simulator " + simulator.path() + ": " +
           simulator.error();
  }
  const std::string sim_missing = loaded->sim.Bind(simulator);
  if (!sim_missing.empty()) {
    return simulator.path() + " lacks " + sim_missing +
           " (qvctx-host --probe needs none of them)";
  }
  return LoadQvctx(options, &loaded->qvctx, &loaded->api);
}

// What every session's report shares, with the simulator's client set up
// for the run: the built-in one, none, or a remote one it bridges to.
HostReport PrepareClient(const HostOptions& options, const Libraries& loaded) {
  HostReport base;
  base.options = options;
  base.library_path = loaded.qvctx.path();
  base.simulator_path = loaded.simulator.path();
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
  const char* connect = std::getenv("QVCTX_SIM_CONNECT");
  const bool remote = connect != nullptr && *connect != '\0';
  base.built_in_client = !remote && options.client == ClientChoice::kBuiltIn;
  // A remote client sends its events on its own schedule; the host counts
  // what comes and awaits nothing.
  base.events_awaited = base.built_in_client;
  base.remote_client = remote;
  if (remote) {
    base.client = std::string("remote, bridged by the simulator to ") +
                  connect + " (QVCTX_SIM_CONNECT)";
    return base;
  }
  base.client = base.built_in_client
                    ? "the simulator's built-in client"
                    : "none: the built-in client stays off, nothing answers";
  loaded.sim.reset();
  loaded.sim.set_built_in_client(base.built_in_client ? 1 : 0);
  // The host checks the answers, not the written bytes: keeping a copy of
  // them would grow with the run.
  loaded.sim.set_keep_written(0);
  return base;
}

// The simulator's counts since its reset, taken when a session has closed.
struct ClientCounts {
  std::uint32_t answered = 0;
  std::uint64_t unframed = 0;
};

// Closes the session of `report` and keeps its closing log and, from the
// built-in client's counts, that session's own share of them.
void CloseSession(const Libraries& loaded, ClientCounts* counted,
                  HostReport* report) {
  loaded.api.close_session();
  report->close_log = loaded.api.FetchSessionLog();
  const ClientCounts now{loaded.sim.answered_count(),
                         loaded.sim.unframed_bytes()};
  report->client_answered = now.answered - counted->answered;
  report->client_unframed = now.unframed - counted->unframed;
  *counted = now;
}

// Runs session `number` with `tracker` and reports it; from the second one
// on, the client drops first and the session before is closed.
HostReport RunSession(const Libraries& loaded, const HostReport& base,
                      std::uint32_t number, CallTracker* tracker,
                      ClientCounts* counted, std::vector<HostReport>* done) {
  const HostOptions& options = base.options;
  HostReport report = base;
  report.session = number;
  if (number > 1) {
    // The client goes away, as when its user disconnects; the host finds
    // out when a send fails, and follows the recipe: close, and once the
    // client is back register both callbacks again and start.
    loaded.sim.set_client_connected(0);
    report.send_after_drop = SendAfterDrop(loaded.api);
    CloseSession(loaded, counted, &done->back());
    loaded.sim.set_client_connected(1);
  }
  g_tracker = tracker;
  // Only a start after a drop waits for the client to come back.
  const std::int32_t started =
      StartSession(loaded.api, number > 1 ? options.timeout_seconds : 0,
                   &report.start_attempts);
  report.started = started == 0;
  if (report.started) {
    DemoRun run(options, loaded.api, loaded.sim, base.built_in_client, tracker);
    report.outcome = run.Run();
  } else {
    report.outcome.send_failure =
        "ServerStartSession returned " + std::to_string(started);
  }
  report.start_log = loaded.api.FetchSessionLog();
  if (!report.started) {
    const std::string why = SessionLogErrors(report.start_log);
    if (!why.empty()) report.outcome.send_failure += ": " + why;
  }
  report.tally = tracker->Snapshot();
  return report;
}

// Every session the options ask for, until one does not start; the last
// one closed too.
std::vector<HostReport> RunSessions(const Libraries& loaded,
                                    const HostReport& base) {
  const HostOptions& options = base.options;
  const std::vector<std::uint32_t> sizes =
      SizeSequence::Draw(options.size_min, options.size_max, options.calls);
  // Each session's tracker lives to the end: the reader may still call into
  // one until its session is closed.
  std::vector<std::unique_ptr<CallTracker>> trackers;
  std::vector<HostReport> sessions;
  ClientCounts counted;
  for (std::uint32_t number = 1; number <= options.sessions; ++number) {
    trackers.push_back(std::make_unique<CallTracker>(
        sizes, options.bulk, base.built_in_client ? options.events : 0));
    sessions.push_back(RunSession(loaded, base, number, trackers.back().get(),
                                  &counted, &sessions));
    if (!sessions.back().started) break;
  }
  CloseSession(loaded, &counted, &sessions.back());
  for (HostReport& report : sessions) {
    report.log_file = LogFilePath();
    report.log_file_readable = FileIsReadable(report.log_file);
  }
  return sessions;
}

// Prints the summary the options ask for; the exit code.
int Conclude(const std::vector<HostReport>& sessions) {
  const HostOptions& options = sessions.back().options;
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
  if (options.probe) return RunProbeMode(options);
  Libraries loaded;
  const std::string not_loaded = LoadLibraries(options, &loaded);
  if (!not_loaded.empty()) return NoSession(not_loaded);
  return Conclude(RunSessions(loaded, PrepareClient(options, loaded)));
}

}  // namespace
}  // namespace qvctx_host

int main(int argc, char** argv) { return qvctx_host::HostMain(argc, argv); }
