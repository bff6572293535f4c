#include "host_report.h"

#include <cstdio>

namespace qvctx_host {

std::string ClientText(const HostReport& report) {
  if (!report.built_in_client) return report.client;
  return report.client + " (answered " +
         std::to_string(report.client_answered) + " packages, " +
         std::to_string(report.client_unframed) + " unframed bytes skipped)";
}

double MegabytesPerSecond(std::uint64_t bytes, double seconds) {
  return seconds > 0 ? static_cast<double>(bytes) / 1e6 / seconds : 0;
}

std::vector<std::string> ReportProblems(const HostReport& report) {
  std::vector<std::string> problems;
  const RunOutcome& outcome = report.outcome;
  const Tally& tally = report.tally;
  if (!outcome.send_failure.empty()) {
    problems.push_back("export call failed: " + outcome.send_failure);
  }
  if (report.session > 1 && report.send_after_drop == 0) {
    problems.push_back(
        "a send succeeded although the client had gone away before session " +
        std::to_string(report.session));
  }
  const std::uint32_t unanswered = outcome.calls_sent - tally.calls_answered;
  const bool bulk_unanswered = outcome.bulk_sent && !tally.bulk_answered;
  if (unanswered > 0 || bulk_unanswered) {
    std::string text = "answers missing: ";
    if (unanswered > 0) {
      text += std::to_string(unanswered) + " of " +
              std::to_string(outcome.calls_sent) + " calls";
      if (bulk_unanswered) text += " and ";
    }
    if (bulk_unanswered) text += "the bulk transfer";
    char seconds[32];
    std::snprintf(seconds, sizeof(seconds), "%g",
                  report.options.timeout_seconds);
    text += std::string(" got no answer within ") + seconds + " s";
    if (bulk_unanswered && report.options.bulk > kLargestCall) {
      // Its answer is as long as the transfer, longer than the library's
      // reader takes in one package; it stops the reading behind it too.
      text += " (an answer of " + std::to_string(report.options.bulk) +
              " bytes is longer than the " + std::to_string(kLargestCall) +
              " the library receives)";
    }
    problems.push_back(text);
  }
  const std::uint32_t wrong =
      tally.damaged + tally.duplicates + tally.strangers;
  if (wrong > 0) {
    problems.push_back("answers wrong: " + std::to_string(wrong) +
                       " (first: " + tally.problems.front() + ")");
  }
  if (report.events_awaited) {
    if (tally.events_received < outcome.events_queued) {
      problems.push_back(
          "events missing: " +
          std::to_string(outcome.events_queued - tally.events_received) +
          " of " + std::to_string(outcome.events_queued) +
          " client events did not arrive");
    }
    if (tally.events_unexpected > 0) {
      problems.push_back(
          "events wrong: " + std::to_string(tally.events_unexpected) +
          " client events the host did not queue");
    }
  }
  return problems;
}

std::vector<std::string> AllProblems(const std::vector<HostReport>& sessions) {
  std::vector<std::string> all;
  for (const HostReport& report : sessions) {
    for (const std::string& problem : ReportProblems(report)) {
      all.push_back(sessions.size() == 1
                        ? problem
                        : "session " + std::to_string(report.session) + ": " +
                              problem);
    }
  }
  return all;
}

}  // namespace qvctx_host
