#include "host_options.h"

#include <cmath>
#include <cstdlib>

#include "qvctx_port/number.h"

namespace qvctx_host {

namespace {

// "N" or "MIN-MAX", each a call's total size; the complaint about a part
// that is no number or out of range, "-" when MIN exceeds MAX.
std::string ParseSizes(const std::string& text, HostOptions* options) {
  const std::size_t dash = text.find('-');
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  std::string complaint =
      qvctx_port::ParseNumber("--size", text.substr(0, dash),
                              qvctx::kPackageHeadSize, kLargestCall, &low);
  if (complaint.empty() && dash == std::string::npos) {
    high = low;
  } else if (complaint.empty()) {
    complaint =
        qvctx_port::ParseNumber("--size", text.substr(dash + 1),
                                qvctx::kPackageHeadSize, kLargestCall, &high);
  }
  if (complaint.empty() && low > high) complaint = "-";
  if (complaint.empty()) {
    options->size_min = low;
    options->size_max = high;
  }
  return complaint;
}

bool ParseSeconds(const std::string& text, double* seconds) {
  if (text.empty()) return false;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value) || value <= 0 || value > 3600)
    return false;
  *seconds = value;
  return true;
}

// The field of an option that takes a count, and its range; null for any
// other option.
std::uint32_t* CountOption(const std::string& name, HostOptions* options,
                           std::uint32_t* low, std::uint32_t* high) {
  struct Count {
    const char* name;
    std::uint32_t HostOptions::*field;
    std::uint32_t low;
    std::uint32_t high;
  };
  static const Count kCounts[] = {
      {"--calls", &HostOptions::calls, 0, kMostCalls},
      {"--threads", &HostOptions::threads, 1, kMostThreads},
      {"--events", &HostOptions::events, 0, kMostEvents},
      {"--bulk", &HostOptions::bulk, 0, kBulkLimit - 1},
      {"--reconnect", &HostOptions::sessions, 1, kMostSessions},
  };
  for (const Count& count : kCounts) {
    if (name == count.name) {
      *low = count.low;
      *high = count.high;
      return &(options->*count.field);
    }
  }
  return nullptr;
}

// Applies one option with its value; an empty string when it was good,
// otherwise what is wrong with it.
std::string Apply(const std::string& name, const std::string& value,
                  HostOptions* options) {
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (std::uint32_t* const count = CountOption(name, options, &low, &high)) {
    options->reconnect = options->reconnect || name == "--reconnect";
    const std::string complaint =
        qvctx_port::ParseNumber(name.c_str(), value, low, high, count);
    // A bulk transfer is a whole package, header included, or none.
    if (!complaint.empty() || name != "--bulk" || options->bulk == 0 ||
        options->bulk >= qvctx::kPackageHeadSize) {
      return complaint;
    }
    return name + " " + value + ": expected 0 (none) or 34 to " +
           std::to_string(kBulkLimit - 1);
  }
  bool good = false;
  std::string allowed;
  if (name == "--size") {
    const std::string complaint = ParseSizes(value, options);
    if (complaint != "-") return complaint;
    allowed = "N or MIN-MAX, each from 34 to " + std::to_string(kLargestCall);
  } else if (name == "--timeout") {
    good = ParseSeconds(value, &options->timeout_seconds);
    allowed = "seconds, above 0 and at most 3600";
  } else if (name == "--client") {
    good = value == "builtin" || value == "none";
    if (good) {
      options->client =
          value == "none" ? ClientChoice::kNone : ClientChoice::kBuiltIn;
    }
    allowed = "builtin or none";
  } else if (name == "--probe") {
    options->probe = true;
    good = ParseSeconds(value, &options->probe_seconds);
    allowed = "seconds, above 0 and at most 3600";
  } else if (name == "--send") {
    options->send_file = value;
    good = !value.empty();
    allowed = "a file";
  } else if (name == "--library") {
    options->library = value;
    good = !value.empty();
    allowed = "a path";
  } else if (name == "--simulator") {
    options->simulator = value;
    good = !value.empty();
    allowed = "a path";
  } else {
    return "unknown option " + name;
  }
  return good ? std::string() : name + " " + value + ": expected " + allowed;
}

}  // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions* options,
                      std::string* error) {
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    if (name == "--help" || name == "-h") {
      options->help = true;
      continue;
    }
    if (name == "--json") {
      options->json = true;
      continue;
    }
    // --probe's seconds may be left out when --send follows.
    if (name == "--probe" && (i + 1 == argc || argv[i + 1][0] == '-')) {
      options->probe = true;
      continue;
    }
    std::string value;
    const std::size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    } else if (i + 1 < argc) {
      value = argv[++i];
    } else {
      *error = name.rfind("--", 0) == 0 ? name + " needs a value"
                                        : "unexpected argument " + name;
      return false;
    }
    const std::string problem = Apply(name, value, options);
    if (!problem.empty()) {
      *error = problem;
      return false;
    }
  }
  if (options->reconnect && options->probe) {
    *error = "--probe and --reconnect exclude each other";
    return false;
  }
  if (!options->send_file.empty() && !options->probe) {
    *error = "--send goes with --probe";
    return false;
  }
  if (options->probe && options->probe_seconds == 0) {
    if (options->send_file.empty()) {
      *error = "--probe needs SECONDS (or --send FILE)";
      return false;
    }
    options->probe_seconds = kDefaultAnswerWait;
  }
  return true;
}

const char* HostUsage() {
  return R"(Usage: qvctx-host [options]

A sample host of qvctx. It loads the library and the simulator of the
platform's virtual-channel library by path, registers both callbacks, starts
a session, sends far-function calls from several threads and one bulk
transfer, checks every answer byte for byte, prints the session log and
closes. By default the simulator's built-in client answers; when
QVCTX_SIM_CONNECT is set the simulator bridges the channel to a remote
client (qvctx-client) instead, which sends its events on its own.

Options:
  --calls N          far-function calls to send (default 200)
  --size N|MIN-MAX   each call's total size in bytes, header included: MIN
                     and MAX first, the rest drawn from a fixed-seed
                     generator so runs repeat; 34 to 10485725
                     (default 34-4096)
  --threads N        sending threads sharing the calls (default 2)
  --events N         client events the built-in client sends while the
                     calls run (default 5)
  --bulk BYTES       one bulk transfer of BYTES (a package the host lays out
                     itself, sent with ServerSendBulkData); 0 for none,
                     otherwise 34 to 10485759 (default 1048576); the
                     library receives answers of at most 10485725 bytes,
                     so a longer transfer goes out but is never answered
  --timeout SECONDS  how long to wait for the answers (default 10)
  --client builtin|none
                     none leaves the built-in client off, so nothing
                     answers: it shows what a host sees when its client is
                     missing (default builtin)
  --reconnect N      run N sessions; between two the simulator drops the
                     client and brings it back, and the host recovers as a
                     host should: it closes, registers both callbacks again
                     and starts again. Every answer of every session is
                     checked; the summary gives each session's figures
  --probe SECONDS    listen only, on whatever platform library qvctx finds
                     (the simulator's controls are neither needed nor
                     used): register both callbacks, start, print the
                     session log, report every event and result arriving
                     within SECONDS (count, sizes, messageIDs), close and
                     print the session log again. --simulator PATH loads
                     that library first, so qvctx binds it
  --probe [SECONDS] --send FILE
                     a round trip: the probe sends the one package in FILE
                     (laid out in full by a host, header included, e.g.
                     one taken from a recording with qvctx-dump --extract)
                     with ServerSendBulkData, exactly as it is, and waits
                     up to SECONDS (default 10) for the answer, the first
                     result the client sends; it shows the answer and
                     stops there. With --simulator naming the simulator,
                     its built-in client is asked to answer (--client
                     none: it is not)
  --json             print the summary as one JSON object on stdout
  --library PATH     qvctx's library (default: beside this program, then
                     in ../lib)
  --simulator PATH   the simulator's library (default: likewise)
  --help             this text

Counts are decimal, or hexadecimal after 0x.

Exit codes: 0 when every answer arrived intact (a probe: when it ran; with
--send: an answer came), 1 when an answer is missing or wrong, 2 for a bad
command line (or a FILE that holds no whole package), 3 when the session
could not start, so the channel did not open (a library does not load, or
ServerStartSession failed; the reason is printed), 4 when the probe's send
failed, 5 when no answer came within the probe's SECONDS.
)";
}

}  // namespace qvctx_host
