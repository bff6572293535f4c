#include "host_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace qvctx_host {

namespace {

// A whole decimal number in [low, high]; false for anything else.
bool ParseCount(const std::string& text, std::uint32_t low, std::uint32_t high,
                std::uint32_t* value) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  errno = 0;
  const unsigned long long number = std::strtoull(text.c_str(), nullptr, 10);
  if (errno != 0 || number < low || number > high) return false;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

// "N" or "MIN-MAX", each a call's total size.
bool ParseSizes(const std::string& text, HostOptions* options) {
  const std::size_t dash = text.find('-');
  std::uint32_t low = 0;
  std::uint32_t high = 0;
  if (dash == std::string::npos) {
    if (!ParseCount(text, kHeaderSize, kLargestCall, &low)) return false;
    high = low;
  } else if (!ParseCount(text.substr(0, dash), kHeaderSize, kLargestCall,
                         &low) ||
             !ParseCount(text.substr(dash + 1), kHeaderSize, kLargestCall,
                         &high) ||
             low > high) {
    return false;
  }
  options->size_min = low;
  options->size_max = high;
  return true;
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

// Applies one option with its value; an empty string when it was good,
// otherwise what is wrong with it.
std::string Apply(const std::string& name, const std::string& value,
                  HostOptions* options) {
  bool good = false;
  std::string allowed;
  if (name == "--calls") {
    good = ParseCount(value, 0, kMostCalls, &options->calls);
    allowed = "0 to " + std::to_string(kMostCalls);
  } else if (name == "--size") {
    good = ParseSizes(value, options);
    allowed = "N or MIN-MAX, each from 34 to " + std::to_string(kLargestCall);
  } else if (name == "--threads") {
    good = ParseCount(value, 1, kMostThreads, &options->threads);
    allowed = "1 to " + std::to_string(kMostThreads);
  } else if (name == "--events") {
    good = ParseCount(value, 0, kMostEvents, &options->events);
    allowed = "0 to " + std::to_string(kMostEvents);
  } else if (name == "--bulk") {
    good = ParseCount(value, 0, kBulkLimit - 1, &options->bulk) &&
           (options->bulk == 0 || options->bulk >= kHeaderSize);
    allowed = "0 (none) or 34 to " + std::to_string(kBulkLimit - 1);
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
  } else if (name == "--reconnect") {
    good = ParseCount(value, 1, kMostSessions, &options->sessions);
    options->reconnect = true;
    allowed = "1 to " + std::to_string(kMostSessions) + " sessions";
  } else if (name == "--probe") {
    good = ParseSeconds(value, &options->probe_seconds);
    allowed = "seconds, above 0 and at most 3600";
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
  if (options->reconnect && options->probe_seconds > 0) {
    *error = "--probe and --reconnect exclude each other";
    return false;
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
  --json             print the summary as one JSON object on stdout
  --library PATH     qvctx's library (default: beside this program, then
                     in ../lib)
  --simulator PATH   the simulator's library (default: likewise)
  --help             this text

Exit codes: 0 when every answer arrived intact (a probe: when it ran), 1
when an answer is missing or wrong, 2 for a bad command line, 3 when the
session could not start (a library does not load, or ServerStartSession
failed; the reason is printed).
)";
}

}  // namespace qvctx_host
