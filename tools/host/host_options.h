// The command line of qvctx-host.
#ifndef QVCTX_TOOLS_HOST_HOST_OPTIONS_H_
#define QVCTX_TOOLS_HOST_HOST_OPTIONS_H_

#include <cstdint>
#include <string>

#include "protocol/wire_format.h"

namespace qvctx_host {

// The largest far-function call the host sends, header included, and the
// largest answer the library receives.
constexpr std::uint32_t kLargestCall = qvctx::kReaderLargestPackage;
// A bulk transfer must stay below this many bytes.
constexpr std::uint32_t kBulkLimit = qvctx::kShiftBufferCapacity;
// Calls are numbered into messageIDs above the function byte (24 bits).
constexpr std::uint32_t kMostCalls = 1000000;
constexpr std::uint32_t kMostThreads = 64;
constexpr std::uint32_t kMostEvents = 100000;
constexpr std::uint32_t kMostSessions = 1000;
// How long a probe with --send waits for the answer unless told.
constexpr double kDefaultAnswerWait = 10;

// Who answers the calls.
enum class ClientChoice {
  kBuiltIn,  // the simulator's built-in client (the default)
  kNone,     // nobody: what a host sees when its client is missing
};

struct HostOptions {
  std::uint32_t calls = 200;
  std::uint32_t size_min = 34;    // each call's total size, header included
  std::uint32_t size_max = 4096;  // inclusive
  std::uint32_t threads = 2;      // sending threads sharing the calls
  std::uint32_t events = 5;       // client events the built-in client sends
  std::uint32_t bulk = 1048576;   // bytes of the one bulk transfer; 0 = none
  double timeout_seconds = 10;    // how long to wait for the answers
  bool json = false;              // the summary as one JSON object
  bool help = false;
  ClientChoice client = ClientChoice::kBuiltIn;
  // Sessions to run, the client dropped and back between two; 1: one
  // session and no drop.
  std::uint32_t sessions = 1;
  bool reconnect = false;  // --reconnect was given
  // --probe: listen on the platform's library alone.
  bool probe = false;
  // How long the probe listens, or with --send waits for the answer.
  double probe_seconds = 0;
  // --send: the file of the one package a probe sends; empty: none.
  std::string send_file;
  std::string library;    // qvctx's path; empty: look beside the executable
  std::string simulator;  // the simulator's path; empty: likewise
};

// Reads argv into `options`; false with `error` set on a bad command line.
bool ParseHostOptions(int argc, char** argv, HostOptions* options,
                      std::string* error);

// The --help text.
const char* HostUsage();

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_HOST_OPTIONS_H_
