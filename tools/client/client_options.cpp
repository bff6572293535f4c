#include "client_options.h"

#include <cstring>

#include "protocol/wire_format.h"
#include "qvctx_port/number.h"

namespace qvctx_client {

namespace {

// Where the value of an option that takes a count goes; null for any other
// (--cut-after, whose field is signed, included).
std::uint32_t* CountOption(const std::string& option, ClientOptions* options) {
  if (option == "--sessions") return &options->sessions;
  if (option == "--events") return &options->events;
  if (option == "--event-interval") return &options->event_interval_ms;
  if (option == "--event-size") return &options->event_size;
  if (option == "--timeout") return &options->timeout_s;
  return nullptr;
}

}  // namespace

const char* ClientUsage() {
  return "usage: qvctx-client [options]\n"
         "The client end of the \"qvctx\" channel as a process of its own. "
         "Start it,\nthen run the host with QVCTX_SIM_CONNECT=127.0.0.1:PORT "
         "so the simulator\nbridges its channel here. It answers every "
         "far-function call with a result\n(same messageID, time stamps and "
         "payload) and sends events on a schedule.\n\n"
         "  --listen ADDR          listen on ADDR (default 127.0.0.1:47470; "
         "port 0 picks one)\n"
         "  --port-file FILE       write the port listened on to FILE\n"
         "  --sessions N           serve N connections, then exit (default: "
         "serve forever)\n"
         "  --events N             send N events on each connection\n"
         "  --event-interval MS    one event every MS milliseconds "
         "(default 100)\n"
         "  --event-size BYTES     event payload size (default 16)\n"
         "  --record PREFIX        record both directions to PREFIX.server.bin"
         " and\n"
         "                         PREFIX.client.bin (read them with "
         "qvctx-dump)\n"
         "  --check-pattern        check every call's payload against "
         "qvctx-host's pattern\n"
         "  --cut-after N          first connection only: after N answers, "
         "send half of\n"
         "                         the next one and drop the connection\n"
         "  --timeout SECONDS      give up (exit 3) after this long\n"
         "  --quiet                print only the summaries\n"
         "  --replay PREFIX        serve one connection by replaying a "
         "recording\n"
         "                         (PREFIX.server.bin, PREFIX.client.bin, "
         "from qvctx-tap,\n"
         "                         QVCTX_SIM_RECORD or --record): send "
         "its results, each\n"
         "                         once the host's call with that messageID "
         "arrived and\n"
         "                         after the recorded latency, and its "
         "other packages at\n"
         "                         their recorded times; when the host "
         "ends the session,\n"
         "                         compare its packages with the recorded "
         "ones by\n"
         "                         messageID (type, size, payload) and list "
         "every difference\n"
         "  --fast                 --replay without the recorded timing\n"
         "Counts are decimal, or hexadecimal after 0x.\n"
         "Exit status: 0 all well, 1 a call broke the pattern or bytes did "
         "not frame\n(--replay: the host's packages differ from the "
         "recording), 2 bad usage or\ncannot listen or read the recording, "
         "3 time-out.\n";
}

bool ParseClientOptions(int argc, char** argv, ClientOptions* options,
                        std::string* error) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    if (option == "--help" || option == "-h") {
      options->help = true;
      continue;
    }
    if (option == "--check-pattern") {
      options->check_pattern = true;
      continue;
    }
    if (option == "--quiet") {
      options->quiet = true;
      continue;
    }
    if (option == "--fast") {
      options->fast = true;
      continue;
    }
    if (i + 1 >= argc) {
      *error = "missing value after " + option;
      return false;
    }
    const char* const value = argv[++i];
    if (option == "--listen") {
      options->listen = value;
      continue;
    }
    if (option == "--port-file") {
      options->port_file = value;
      continue;
    }
    if (option == "--record") {
      options->record_prefix = value;
      continue;
    }
    if (option == "--replay") {
      options->replay_prefix = value;
      continue;
    }
    std::uint32_t* const count = CountOption(option, options);
    const bool cut_after = option == "--cut-after";  // the one signed count
    if (count == nullptr && !cut_after) {
      *error = "unknown option " + option;
      return false;
    }
    std::uint32_t number = 0;
    const std::string complaint =
        qvctx_port::ParseNumber(option.c_str(), value, 0, UINT32_MAX, &number);
    if (!complaint.empty()) {
      *error = complaint;
      return false;
    }
    if (cut_after) {
      options->cut_after = static_cast<std::int64_t>(number);
    } else {
      *count = static_cast<std::uint32_t>(number);
    }
  }
  if (options->event_size >
      qvctx::kShiftBufferCapacity - qvctx::kPackageHeadSize) {
    *error = "--event-size: at most 10485726 bytes fit the server's buffer";
    return false;
  }
  return true;
}

}  // namespace qvctx_client
