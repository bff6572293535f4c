// What qvctx-client is asked to do, from its command line.
#ifndef QVCTX_TOOLS_CLIENT_CLIENT_OPTIONS_H_
#define QVCTX_TOOLS_CLIENT_CLIENT_OPTIONS_H_

#include <cstdint>
#include <string>

namespace qvctx_client {

struct ClientOptions {
  std::string listen = "127.0.0.1:47470";  // where the simulator connects
  std::string port_file;       // the port listened on is written here
  std::string record_prefix;   // records PREFIX.server.bin / .client.bin
  std::uint32_t sessions = 0;  // connections to serve, then exit; 0: forever
  std::uint32_t events = 0;    // events sent on each connection
  std::uint32_t event_interval_ms = 100;  // the schedule: one event per
  std::uint32_t event_size = 16;          // event payload bytes
  bool check_pattern = false;   // check every call against the demo pattern
  std::int64_t cut_after = -1;  // first connection: cut the answer after N
  std::uint32_t timeout_s = 0;  // give up after this long; 0: never
  bool quiet = false;           // only the summaries
  std::string replay_prefix;    // plays this recording's client side
  bool fast = false;            // replay without the recorded timing
  bool help = false;
};

// Parses argv; false with `error` set on a bad option or value.
bool ParseClientOptions(int argc, char** argv, ClientOptions* options,
                        std::string* error);

// The --help text.
const char* ClientUsage();

}  // namespace qvctx_client

#endif  // QVCTX_TOOLS_CLIENT_CLIENT_OPTIONS_H_
