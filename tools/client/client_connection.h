// ClientConnection: qvctx-client's side of one connection from the
// simulator, that is one session of the host.
#ifndef QVCTX_TOOLS_CLIENT_CLIENT_CONNECTION_H_
#define QVCTX_TOOLS_CLIENT_CLIENT_CONNECTION_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include "wfsim/client/builtin_client.h"
#include "wfsim/net/tcp_socket.h"
#include "wfsim/recording/stream_recorder.h"
#include "wfsim/stream/byte_queue.h"

namespace qvctx_client {

// What one connection should do besides answering calls.
struct ConnectionPlan {
  std::uint32_t events = 0;             // events to send
  std::uint32_t event_interval_ms = 0;  // one every so many milliseconds
  std::uint32_t event_size = 0;         // payload bytes of each
  bool check_pattern = false;           // check calls against the pattern
  std::int64_t cut_after = -1;  // drop the connection mid-answer after N
};

struct ConnectionStats {
  std::uint64_t calls = 0;       // far-function calls received
  std::uint64_t answered = 0;    // answers sent whole
  std::uint64_t mismatches = 0;  // calls whose payload broke the pattern
  std::uint64_t unframed = 0;    // received bytes that began no package
  std::uint64_t events_sent = 0;
  std::uint64_t bytes_in = 0;
  std::uint64_t bytes_out = 0;
  bool cut = false;        // the plan dropped the connection
  bool timed_out = false;  // the deadline ended it
};

// Answers every far-function call with a result package, as the simulator's
// built-in client does, and sends the planned events from a thread of its
// own. Answers and events go out whole under one lock, so they never
// interleave on the stream.
class ClientConnection {
 public:
  ClientConnection(std::unique_ptr<wfsim::TcpStream> stream,
                   const ConnectionPlan& plan, wfsim::StreamRecorder* recorder,
                   bool quiet);
  ClientConnection(const ClientConnection&) = delete;
  ClientConnection& operator=(const ClientConnection&) = delete;

  // Serves until the server ends the connection, the plan cuts it or
  // `deadline` passes; then ends the connection.
  ConnectionStats Serve(std::chrono::steady_clock::time_point deadline);

 private:
  // Checks one complete package received from the server.
  void Inspect(const std::uint8_t* package, std::uint32_t size);
  // Sends the answers the last piece completed; false when the connection
  // failed or was cut.
  bool SendAnswers();
  bool SendLocked(const std::uint8_t* data, std::size_t size);
  void SendEvents();

  std::unique_ptr<wfsim::TcpStream> stream_;
  const ConnectionPlan plan_;
  wfsim::StreamRecorder* const recorder_;  // not owned; may be null
  const bool quiet_;
  wfsim::BuiltInClient answerer_;
  wfsim::ByteQueue answers_;  // answers not yet sent
  std::mutex send_mutex_;     // one whole package at a time on the stream
  std::mutex events_mutex_;   // guards ending_ for the events' schedule
  std::condition_variable events_wake_;
  bool ending_ = false;    // the events thread stops
  ConnectionStats stats_;  // events_sent and bytes_out under send_mutex_
};

}  // namespace qvctx_client

#endif  // QVCTX_TOOLS_CLIENT_CLIENT_CONNECTION_H_
