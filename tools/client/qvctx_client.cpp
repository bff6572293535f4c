// qvctx-client: the client end of the "qvctx" channel as a process of its
// own. The simulator bridges its channel here when the host runs with
// QVCTX_SIM_CONNECT=127.0.0.1:PORT; the bytes on the connection are exactly
// the channel's stream. See --help.
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>

#include "client_connection.h"
#include "client_options.h"
#include "replay.h"
#include "wfsim/net/tcp_socket.h"
#include "wfsim/recording/stream_recorder.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kAcceptPollMs = 200;

// Writes the port through a temporary file and a rename, so a script that
// waits for the file never reads half a number.
bool WritePortFile(const std::string& path, std::uint16_t port) {
  const std::string temporary = path + ".tmp";
  std::FILE* const file = std::fopen(temporary.c_str(), "w");
  if (file == nullptr) return false;
  std::fprintf(file, "%u\n", static_cast<unsigned>(port));
  if (std::fclose(file) != 0) return false;
  std::remove(path.c_str());
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

void PrintStats(std::uint32_t number, const qvctx_client::ConnectionStats& s) {
  std::printf(
      "qvctx-client: connection %u ended: calls %llu, answered %llu, pattern "
      "mismatches %llu, unframed bytes %llu, events sent %llu, bytes in %llu, "
      "out %llu\n",
      number, static_cast<unsigned long long>(s.calls),
      static_cast<unsigned long long>(s.answered),
      static_cast<unsigned long long>(s.mismatches),
      static_cast<unsigned long long>(s.unframed),
      static_cast<unsigned long long>(s.events_sent),
      static_cast<unsigned long long>(s.bytes_in),
      static_cast<unsigned long long>(s.bytes_out));
  std::fflush(stdout);
}

int TimedOut(const qvctx_client::ClientOptions& options, std::uint32_t served) {
  std::fprintf(stderr,
               "qvctx-client: time-out after %u s, %u of %u connections "
               "served\n",
               options.timeout_s, served, options.sessions);
  return 3;
}

// Serves one connection with the recording's client side; the exit status.
int RunReplay(const qvctx_client::ClientOptions& options,
              wfsim::TcpListener* listener, Clock::time_point deadline) {
  qvctx_client::Replay replay;
  std::string error;
  if (!replay.Load(options.replay_prefix, &error)) {
    std::fprintf(stderr, "qvctx-client: %s\n", error.c_str());
    return 2;
  }
  std::unique_ptr<wfsim::TcpStream> stream;
  while (stream == nullptr) {
    if (Clock::now() >= deadline) return TimedOut(options, 0);
    stream = listener->Accept(kAcceptPollMs, &error);
    if (stream == nullptr && !error.empty()) {
      std::fprintf(stderr, "qvctx-client: %s\n", error.c_str());
      return 2;
    }
  }
  const qvctx_client::ReplayResult result =
      replay.Play(stream.get(), options.fast, deadline);
  std::printf(
      "qvctx-client: replay of %s%s: %llu of %zu client packages played, "
      "%llu host packages received (%zu recorded), %zu difference%s\n",
      options.replay_prefix.c_str(), options.fast ? " (fast)" : "",
      static_cast<unsigned long long>(result.sent), replay.client_packages(),
      static_cast<unsigned long long>(result.received),
      replay.server_packages(), result.differences.size(),
      result.differences.size() == 1 ? "" : "s");
  for (const std::string& difference : result.differences) {
    std::printf("  differs: %s\n", difference.c_str());
  }
  std::fflush(stdout);
  if (result.timed_out) return TimedOut(options, 0);
  return result.differences.empty() ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  qvctx_client::ClientOptions options;
  std::string error;
  if (!qvctx_client::ParseClientOptions(argc, argv, &options, &error)) {
    std::fprintf(stderr, "qvctx-client: %s\n%s", error.c_str(),
                 qvctx_client::ClientUsage());
    return 2;
  }
  if (options.help) {
    std::fputs(qvctx_client::ClientUsage(), stdout);
    return 0;
  }
  std::unique_ptr<wfsim::TcpListener> listener =
      wfsim::TcpListener::Listen(options.listen, &error);
  if (listener == nullptr) {
    std::fprintf(stderr, "qvctx-client: cannot listen on %s: %s\n",
                 options.listen.c_str(), error.c_str());
    return 2;
  }
  const Clock::time_point deadline =
      options.timeout_s == 0
          ? Clock::time_point::max()
          : Clock::now() + std::chrono::seconds(options.timeout_s);
  std::unique_ptr<wfsim::StreamRecorder> recorder;
  if (!options.record_prefix.empty()) {
    recorder = wfsim::StreamRecorder::Open(options.record_prefix, &error);
    if (recorder == nullptr) {
      std::fprintf(stderr, "qvctx-client: %s\n", error.c_str());
      return 2;
    }
  }
  const std::string shown = options.listen.substr(0, options.listen.rfind(':'));
  std::printf("qvctx-client: listening on %s:%u\n", shown.c_str(),
              static_cast<unsigned>(listener->port()));
  std::fflush(stdout);
  if (!options.port_file.empty() &&
      !WritePortFile(options.port_file, listener->port())) {
    std::fprintf(stderr, "qvctx-client: cannot write %s\n",
                 options.port_file.c_str());
    return 2;
  }
  if (!options.replay_prefix.empty()) {
    return RunReplay(options, listener.get(), deadline);
  }

  bool faulty = false;
  std::uint32_t served = 0;
  while (options.sessions == 0 || served < options.sessions) {
    if (Clock::now() >= deadline) return TimedOut(options, served);
    std::unique_ptr<wfsim::TcpStream> stream =
        listener->Accept(kAcceptPollMs, &error);
    if (stream == nullptr) {
      if (error.empty()) continue;
      std::fprintf(stderr, "qvctx-client: %s\n", error.c_str());
      return 2;
    }
    ++served;
    if (!options.quiet) {
      std::printf("qvctx-client: connection %u from the simulator\n", served);
      std::fflush(stdout);
    }
    qvctx_client::ConnectionPlan plan;
    plan.events = options.events;
    plan.event_interval_ms = options.event_interval_ms;
    plan.event_size = options.event_size;
    plan.check_pattern = options.check_pattern;
    plan.cut_after = served == 1 ? options.cut_after : -1;
    qvctx_client::ClientConnection connection(std::move(stream), plan,
                                              recorder.get(), options.quiet);
    const qvctx_client::ConnectionStats stats = connection.Serve(deadline);
    PrintStats(served, stats);
    if (stats.timed_out) return TimedOut(options, served - 1);
    if (stats.mismatches != 0 || stats.unframed != 0) faulty = true;
  }
  return faulty ? 1 : 0;
}
