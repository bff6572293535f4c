// Everything the sample host prints at the end, and its verdict: as text for
// a person or as one JSON object for a program.
#ifndef QVCTX_TOOLS_HOST_HOST_REPORT_H_
#define QVCTX_TOOLS_HOST_HOST_REPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include "call_tracker.h"
#include "demo_run.h"
#include "host_options.h"

namespace qvctx_host {

// The last line of a text summary when every check passed.
constexpr char kAllIntact[] = "every answer arrived intact";

struct HostReport {
  HostOptions options;
  std::string library_path;
  std::string simulator_path;
  std::string client;           // who answered, in words
  bool built_in_client = true;  // the simulator's built-in client answered
  // What the built-in client did in this session alone: calls answered,
  // written bytes skipped that began no package.
  std::uint32_t client_answered = 0;
  std::uint64_t client_unframed = 0;
  bool events_awaited = true;  // the host queued them and counts on them
  bool remote_client = false;  // QVCTX_SIM_CONNECT: a client process answers
  RunOutcome outcome;
  Tally tally;
  std::string start_log;  // ServerSessionLog before the close
  std::string close_log;  // ServerSessionLog after it
  std::string log_file;   // the library's log file as this process opens it
  bool log_file_readable = false;
  // --reconnect: the session's number (from 1), the starts it took, and what
  // the host's send returned when it found the client gone before it (0: no
  // drop came before this session).
  std::uint32_t session = 1;
  std::uint32_t start_attempts = 1;
  std::int32_t send_after_drop = 0;
  bool started = true;  // ServerStartSession returned 0
};

// Who answered, with the built-in client's counts of the session when it
// was the one.
std::string ClientText(const HostReport& report);

// Throughput in MB/s; 0 when no time was measured.
double MegabytesPerSecond(std::uint64_t bytes, double seconds);

// What is missing or wrong, one sentence each; empty when all is well.
std::vector<std::string> ReportProblems(const HostReport& report);

// The summary for a person; its last line is kAllIntact or a problem.
void PrintTextReport(const HostReport& report);

// The summary as one JSON object, and printed on stdout.
std::string JsonReport(const HostReport& report);
void PrintJsonReport(const HostReport& report);

// --reconnect: each session's figures, one line each, then the last
// session's logs and the verdict; as text, or as one JSON object holding
// each session's object.
void PrintReconnectText(const std::vector<HostReport>& sessions);
void PrintReconnectJson(const std::vector<HostReport>& sessions);

// Every session's problems, each prefixed with its session when there are
// several.
std::vector<std::string> AllProblems(const std::vector<HostReport>& sessions);

// The session-log text one entry a line under "session log (TITLE):": the
// library joins the entries with " &" and ends the text with a blank.
void PrintSessionLog(const char* title, const std::string& text);

// `text` as a JSON string, quotes included.
std::string JsonQuoted(const std::string& text);

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_HOST_REPORT_H_
