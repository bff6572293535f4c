// The text summary of qvctx-host.
#include <cstdio>

#include "host_report.h"
#include "latency_stats.h"

namespace qvctx_host {

namespace {

constexpr int kBarWidth = 40;

}  // namespace

void PrintSessionLog(const char* title, const std::string& text) {
  std::printf("session log (%s):\n", title);
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find(" &", start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    while (!entry.empty() && entry.back() == ' ') entry.pop_back();
    if (!entry.empty()) std::printf("  %s\n", entry.c_str());
    start = end + 2;
  }
}

void PrintTextReport(const HostReport& report) {
  const HostOptions& options = report.options;
  const RunOutcome& outcome = report.outcome;
  const Tally& tally = report.tally;
  std::printf("qvctx-host: a sample host of qvctx\n");
  std::printf("  library    %s\n", report.library_path.c_str());
  std::printf("  simulator  %s\n", report.simulator_path.c_str());
  std::printf("  client     %s\n\n", ClientText(report).c_str());

  std::printf(
      "calls      %u sent from %u thread%s, %u answered, %u intact "
      "(sizes %u-%u bytes)\n",
      outcome.calls_sent, options.threads, options.threads == 1 ? "" : "s",
      tally.calls_answered, tally.calls_intact, options.size_min,
      options.size_max);
  if (options.bulk == 0) {
    std::printf("bulk       none\n");
  } else {
    std::string answer = "not answered";
    if (tally.bulk_answered) {
      answer = tally.bulk_intact
                   ? "answered intact in " +
                         LatencyStats::Format(tally.bulk_latency_us)
                   : "answered damaged";
    }
    std::printf("bulk       %u bytes %s, %s\n", options.bulk,
                outcome.bulk_sent ? "sent" : "NOT sent", answer.c_str());
  }
  if (report.events_awaited) {
    std::printf("events     %u queued, %u received\n", outcome.events_queued,
                tally.events_received);
  } else if (report.remote_client) {
    std::printf("events     %u received (sent by the client on its own)\n",
                tally.events_received);
  } else {
    std::printf("events     none queued, %u received (no client)\n",
                tally.events_received);
  }
  std::printf("bytes      %llu sent, %llu received in %.3f s\n",
              static_cast<unsigned long long>(outcome.bytes_sent),
              static_cast<unsigned long long>(tally.bytes_received),
              outcome.seconds);
  std::printf("throughput %.1f MB/s sent, %.1f MB/s received\n",
              MegabytesPerSecond(outcome.bytes_sent, outcome.seconds),
              MegabytesPerSecond(tally.bytes_received, outcome.seconds));
  const LatencyStats latency(tally.call_latencies_us);
  if (latency.empty()) {
    std::printf("latency    no call answered\n");
  } else {
    std::printf("latency    p50 %s, p99 %s, max %s (send start to answer)\n",
                LatencyStats::Format(latency.Percentile(50)).c_str(),
                LatencyStats::Format(latency.Percentile(99)).c_str(),
                LatencyStats::Format(latency.Max()).c_str());
    std::fputs(latency.Histogram(kBarWidth).c_str(), stdout);
  }
  std::printf("\n");
  PrintSessionLog("start and sends", report.start_log);
  PrintSessionLog("close", report.close_log);
  std::printf("log file   %s%s\n", report.log_file.c_str(),
              report.log_file_readable ? "" : " (not written: no such file)");

  const std::vector<std::string> problems = ReportProblems(report);
  for (std::size_t i = 1; i < tally.problems.size(); ++i) {
    std::printf("  also: %s\n", tally.problems[i].c_str());
  }
  if (problems.empty()) {
    std::printf("%s\n", kAllIntact);
  } else {
    for (const std::string& problem : problems) {
      std::printf("%s\n", problem.c_str());
    }
  }
  std::fflush(stdout);
}

void PrintReconnectText(const std::vector<HostReport>& sessions) {
  const HostReport& last = sessions.back();
  std::printf("qvctx-host: %zu sessions across client drops\n",
              sessions.size());
  std::printf("  library    %s\n", last.library_path.c_str());
  std::printf("  simulator  %s\n", last.simulator_path.c_str());
  std::printf("  client     %s\n\n", last.client.c_str());
  for (const HostReport& report : sessions) {
    const RunOutcome& outcome = report.outcome;
    const Tally& tally = report.tally;
    std::printf("session %u: ", report.session);
    if (report.session > 1) {
      std::printf("client dropped, send returned %d; ", report.send_after_drop);
    }
    std::printf("started after %u attempt%s\n", report.start_attempts,
                report.start_attempts == 1 ? "" : "s");
    if (!report.started) continue;
    const LatencyStats latency(tally.call_latencies_us);
    std::printf(
        "  calls %u sent, %u answered, %u intact; bulk %s; events %u "
        "received\n",
        outcome.calls_sent, tally.calls_answered, tally.calls_intact,
        !outcome.bulk_sent    ? "none"
        : tally.bulk_intact   ? "intact"
        : tally.bulk_answered ? "damaged"
                              : "not answered",
        tally.events_received);
    if (report.built_in_client) {
      std::printf(
          "  client answered %u packages, %llu unframed bytes skipped\n",
          report.client_answered,
          static_cast<unsigned long long>(report.client_unframed));
    }
    std::printf(
        "  bytes %llu sent, %llu received in %.3f s (%.1f MB/s sent); "
        "latency p50 %s, p99 %s, max %s\n",
        static_cast<unsigned long long>(outcome.bytes_sent),
        static_cast<unsigned long long>(tally.bytes_received), outcome.seconds,
        MegabytesPerSecond(outcome.bytes_sent, outcome.seconds),
        LatencyStats::Format(latency.Percentile(50)).c_str(),
        LatencyStats::Format(latency.Percentile(99)).c_str(),
        LatencyStats::Format(latency.Max()).c_str());
  }
  std::printf("\n");
  PrintSessionLog("last start and sends", last.start_log);
  PrintSessionLog("last close", last.close_log);
  const std::vector<std::string> problems = AllProblems(sessions);
  if (problems.empty()) {
    std::printf("%s in %zu sessions\n", kAllIntact, sessions.size());
  } else {
    for (const std::string& problem : problems) {
      std::printf("%s\n", problem.c_str());
    }
  }
  std::fflush(stdout);
}

}  // namespace qvctx_host
