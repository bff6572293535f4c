// The JSON summary of qvctx-host: one object on stdout, for scripts and
// tests.
#include <cstdio>

#include "host_report.h"
#include "latency_stats.h"

namespace qvctx_host {

std::string JsonQuoted(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof(escaped), "\\u%04x", byte);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

namespace {

std::string Number(double value) {
  char text[40];
  std::snprintf(text, sizeof(text), "%.1f", value);
  return text;
}

const char* Bool(bool value) { return value ? "true" : "false"; }

std::string JsonList(const std::vector<std::string>& texts) {
  std::string json = "[";
  for (std::size_t i = 0; i < texts.size(); ++i) {
    json += (i == 0 ? "" : ",") + JsonQuoted(texts[i]);
  }
  return json + "]";
}

}  // namespace

std::string JsonReport(const HostReport& report) {
  const HostOptions& options = report.options;
  const RunOutcome& outcome = report.outcome;
  const Tally& tally = report.tally;
  const LatencyStats latency(tally.call_latencies_us);
  const std::vector<std::string> problems = ReportProblems(report);

  std::string json = "{";
  json += "\"ok\":" + std::string(Bool(problems.empty()));
  json += ",\"library\":" + JsonQuoted(report.library_path);
  json += ",\"simulator\":" + JsonQuoted(report.simulator_path);
  json += ",\"client\":" + JsonQuoted(ClientText(report));
  json += ",\"calls\":" + std::to_string(options.calls);
  json += ",\"calls_sent\":" + std::to_string(outcome.calls_sent);
  json += ",\"answered\":" + std::to_string(tally.calls_answered);
  json += ",\"intact\":" + std::to_string(tally.calls_intact);
  json += ",\"threads\":" + std::to_string(options.threads);
  json += ",\"size_min\":" + std::to_string(options.size_min);
  json += ",\"size_max\":" + std::to_string(options.size_max);
  json += ",\"bulk_bytes\":" + std::to_string(options.bulk);
  json += ",\"bulk_answered\":" + std::string(Bool(tally.bulk_answered));
  json += ",\"bulk_intact\":" + std::string(Bool(tally.bulk_intact));
  json += ",\"remote_client\":" + std::string(Bool(report.remote_client));
  json += ",\"events_awaited\":" + std::string(Bool(report.events_awaited));
  json += ",\"events_queued\":" + std::to_string(outcome.events_queued);
  json += ",\"events_received\":" + std::to_string(tally.events_received);
  json += ",\"bytes_sent\":" + std::to_string(outcome.bytes_sent);
  json += ",\"bytes_received\":" + std::to_string(tally.bytes_received);
  char elapsed[40];
  std::snprintf(elapsed, sizeof(elapsed), "%.6f", outcome.seconds);
  json += ",\"seconds\":" + std::string(elapsed);
  json += ",\"mb_per_s_sent\":" +
          Number(MegabytesPerSecond(outcome.bytes_sent, outcome.seconds));
  json += ",\"mb_per_s_received\":" +
          Number(MegabytesPerSecond(tally.bytes_received, outcome.seconds));
  json += ",\"latency_us\":{\"p50\":" + Number(latency.Percentile(50)) +
          ",\"p99\":" + Number(latency.Percentile(99)) +
          ",\"max\":" + Number(latency.Max()) + "}";
  json += ",\"bulk_latency_us\":" + Number(tally.bulk_latency_us);
  json += ",\"start_log\":" + JsonQuoted(report.start_log);
  json += ",\"close_log\":" + JsonQuoted(report.close_log);
  json += ",\"log_file\":" + JsonQuoted(report.log_file);
  json +=
      ",\"log_file_written\":" + std::string(Bool(report.log_file_readable));
  if (options.reconnect) {
    json += ",\"session\":" + std::to_string(report.session);
    json += ",\"start_attempts\":" + std::to_string(report.start_attempts);
    json += ",\"send_after_drop\":" + std::to_string(report.send_after_drop);
  }
  return json + ",\"problems\":" + JsonList(problems) + "}";
}

void PrintJsonReport(const HostReport& report) {
  std::fputs((JsonReport(report) + "\n").c_str(), stdout);
  std::fflush(stdout);
}

void PrintReconnectJson(const std::vector<HostReport>& sessions) {
  const std::vector<std::string> problems = AllProblems(sessions);
  std::string json = "{\"ok\":" + std::string(Bool(problems.empty()));
  json += ",\"sessions\":[";
  for (std::size_t i = 0; i < sessions.size(); ++i) {
    json += (i == 0 ? "" : ",") + JsonReport(sessions[i]);
  }
  json += "],\"problems\":" + JsonList(problems) + "}\n";
  std::fputs(json.c_str(), stdout);
  std::fflush(stdout);
}

}  // namespace qvctx_host
