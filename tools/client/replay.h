// Replay: the client's side of a recorded session played into a live one,
// and the host's side compared with what the recording holds.
#ifndef QVCTX_TOOLS_CLIENT_REPLAY_H_
#define QVCTX_TOOLS_CLIENT_REPLAY_H_

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "wfsim/net/tcp_socket.h"

namespace qvctx_client {

// One package of a recording and the time its last byte went over the
// channel (0 in an untimed recording).
struct RecordedPackage {
  std::uint64_t micros = 0;
  std::vector<std::uint8_t> bytes;
};

// The packages of one recording file, cut by their headers' datasize. False
// with `error` set when it cannot be read or holds bytes that frame no
// package.
bool ReadRecordedPackages(const std::string& path,
                          std::vector<RecordedPackage>* packages,
                          std::string* error);

// When the live host's calls arrived (replay.cpp).
class CallArrivals;

struct ReplayResult {
  std::uint64_t sent = 0;      // client packages played
  std::uint64_t received = 0;  // host packages that arrived
  bool timed_out = false;
  std::vector<std::string> differences;
};

class Replay {
 public:
  // Reads PREFIX.server.bin and PREFIX.client.bin; false with `error` set.
  bool Load(const std::string& prefix, std::string* error);

  // Plays the recording on `stream`: each recorded result is sent once the
  // host's call with its messageID (the same occurrence) has arrived, after
  // the recorded latency; every other package (events) at its recorded time
  // after the connection began. `fast`: without waiting. Runs until the host
  // ends the connection or `deadline`, then compares.
  ReplayResult Play(wfsim::TcpStream* stream, bool fast,
                    std::chrono::steady_clock::time_point deadline);

  std::size_t client_packages() const { return client_.size(); }
  std::size_t server_packages() const { return server_.size(); }

 private:
  struct Outgoing {
    RecordedPackage package;
    std::ptrdiff_t call = -1;    // the recorded call it answers
    std::uint64_t delay_us = 0;  // after that call arrives, or after the start
    bool sent = false;
  };
  // Play's steps: sends every package that is due (a result once its
  // call's live counterpart arrived, after the recorded latency) and moves
  // `next` to the earliest one still to come; false when the connection
  // broke. Then compares the host's packages with the recording.
  bool SendDue(wfsim::TcpStream* stream, bool fast,
               std::chrono::steady_clock::time_point start,
               const CallArrivals& arrivals,
               std::chrono::steady_clock::time_point* next,
               ReplayResult* result);
  void CompareWithRecording(const std::vector<std::vector<std::uint8_t>>& live,
                            ReplayResult* result) const;

  std::vector<RecordedPackage> server_;  // the host's packages, recorded
  std::vector<Outgoing> client_;
};

}  // namespace qvctx_client

#endif  // QVCTX_TOOLS_CLIENT_REPLAY_H_
