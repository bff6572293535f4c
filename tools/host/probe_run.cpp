#include "probe_run.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

#include "host_report.h"
#include "protocol/wire_format.h"

namespace qvctx_host {

namespace {

using Clock = std::chrono::steady_clock;

// Arrivals listed one by one; beyond this many only the counts go on.
constexpr std::size_t kMostListed = 10000;

struct Arrival {
  bool event = false;  // otherwise a result
  std::uint32_t message_id = 0;
  std::uint32_t size = 0;
  double at_seconds = 0;  // after the start
};

// Per kind: how many, their bytes, the smallest and largest.
struct KindCount {
  std::uint32_t count = 0;
  std::uint64_t bytes = 0;
  std::uint32_t smallest = 0;
  std::uint32_t largest = 0;

  void Add(std::uint32_t size) {
    smallest = count == 0 ? size : std::min(smallest, size);
    largest = std::max(largest, size);
    ++count;
    bytes += size;
  }
};

// What the callbacks saw; fed on the library's reader thread.
class ArrivalLog {
 public:
  void Begin() {
    std::lock_guard<std::mutex> hold(mutex_);
    began_ = Clock::now();
  }

  void Add(bool event, const std::uint8_t* package, std::uint32_t length) {
    Arrival arrival;
    arrival.event = event;
    arrival.size = length;
    if (package != nullptr && length >= qvctx::kPackageHeadSize) {
      arrival.message_id = qvctx::LoadLe32(package + qvctx::kMessageIdOffset);
    }
    std::lock_guard<std::mutex> hold(mutex_);
    arrival.at_seconds =
        std::chrono::duration<double>(Clock::now() - began_).count();
    (event ? events_ : results_).Add(length);
    if (listed_.size() < kMostListed) listed_.push_back(arrival);
  }

  void Copy(std::vector<Arrival>* listed, KindCount* events,
            KindCount* results) const {
    std::lock_guard<std::mutex> hold(mutex_);
    *listed = listed_;
    *events = events_;
    *results = results_;
  }

 private:
  mutable std::mutex mutex_;
  Clock::time_point began_;
  std::vector<Arrival> listed_;
  KindCount events_;
  KindCount results_;
};

ArrivalLog g_arrivals;

void OnProbeEvent(const std::uint8_t* package, std::uint32_t length) {
  try {
    g_arrivals.Add(true, package, length);
  } catch (...) {
    // Nothing may escape into the library's reader thread.
  }
}

void OnProbeResult(const std::uint8_t* package, std::uint32_t length) {
  try {
    g_arrivals.Add(false, package, length);
  } catch (...) {
  }
}

void PrintCount(const char* kind, const KindCount& count) {
  std::printf("%-10s %u", kind, count.count);
  if (count.count != 0) {
    std::printf(", %llu bytes, sizes %u-%u",
                static_cast<unsigned long long>(count.bytes), count.smallest,
                count.largest);
  }
  std::printf("\n");
}

std::string JsonCount(const KindCount& count) {
  return "{\"count\":" + std::to_string(count.count) +
         ",\"bytes\":" + std::to_string(count.bytes) +
         ",\"smallest\":" + std::to_string(count.smallest) +
         ",\"largest\":" + std::to_string(count.largest) + "}";
}

}  // namespace

std::string SessionLogErrors(const std::string& session_log) {
  std::string errors;
  std::size_t start = 0;
  while ((start = session_log.find("Error - ", start)) != std::string::npos) {
    std::size_t end = session_log.find(" &", start);
    if (end == std::string::npos) end = session_log.size();
    std::string entry = session_log.substr(start, end - start);
    while (!entry.empty() && entry.back() == ' ') entry.pop_back();
    errors += (errors.empty() ? "" : "; ") + entry;
    start = end;
  }
  return errors;
}

int RunProbe(const HostOptions& options, const QvctxApi& api,
             const std::string& library, const std::string& platform) {
  api.register_event(OnProbeEvent);
  api.register_result(OnProbeResult);
  g_arrivals.Begin();
  const std::int32_t started = api.start_session();
  const std::string start_log = api.FetchSessionLog();
  if (!options.json) {
    std::printf("qvctx-host: probe of the platform library\n");
    std::printf("  library    %s\n", library.c_str());
    std::printf("  platform   %s\n\n", platform.c_str());
    PrintSessionLog("start", start_log);
    std::fflush(stdout);
  }
  std::string failure;
  if (started != 0) {
    failure = "ServerStartSession returned " + std::to_string(started);
    const std::string why = SessionLogErrors(start_log);
    if (!why.empty()) failure += ": " + why;
  } else {
    std::this_thread::sleep_for(
        std::chrono::duration<double>(options.probe_seconds));
  }
  api.close_session();
  const std::string close_log = api.FetchSessionLog();

  std::vector<Arrival> listed;
  KindCount events;
  KindCount results;
  g_arrivals.Copy(&listed, &events, &results);
  if (options.json) {
    std::string json =
        "{\"ok\":" + std::string(failure.empty() ? "true" : "false");
    json += ",\"mode\":\"probe\",\"library\":" + JsonQuoted(library);
    json += ",\"platform\":" + JsonQuoted(platform);
    json += ",\"start_result\":" + std::to_string(started);
    char seconds[40];
    std::snprintf(seconds, sizeof(seconds), "%g", options.probe_seconds);
    json += ",\"seconds\":" + std::string(seconds);
    json += ",\"events\":" + JsonCount(events);
    json += ",\"results\":" + JsonCount(results);
    json += ",\"arrivals\":[";
    for (std::size_t i = 0; i < listed.size(); ++i) {
      char at[40];
      std::snprintf(at, sizeof(at), "%.3f", listed[i].at_seconds);
      json += std::string(i == 0 ? "" : ",") + "{\"type\":\"" +
              (listed[i].event ? "event" : "result") +
              "\",\"message_id\":" + std::to_string(listed[i].message_id) +
              ",\"size\":" + std::to_string(listed[i].size) +
              ",\"at_s\":" + at + "}";
    }
    json += "],\"start_log\":" + JsonQuoted(start_log);
    json += ",\"close_log\":" + JsonQuoted(close_log);
    json += ",\"problems\":[";
    if (!failure.empty()) json += JsonQuoted(failure);
    json += "]}\n";
    std::fputs(json.c_str(), stdout);
  } else {
    std::printf("\n");
    if (failure.empty()) {
      std::printf("listened   %g s\n", options.probe_seconds);
      PrintCount("events", events);
      PrintCount("results", results);
      for (const Arrival& arrival : listed) {
        std::printf("  +%.3f s %-6s messageID 0x%08X, %u bytes\n",
                    arrival.at_seconds, arrival.event ? "event" : "result",
                    static_cast<unsigned>(arrival.message_id), arrival.size);
      }
      if (listed.size() < events.count + results.count) {
        std::printf("  (only the first %zu listed)\n", listed.size());
      }
      std::printf("\n");
    }
    PrintSessionLog("close", close_log);
  }
  std::fflush(stdout);
  if (failure.empty()) return 0;
  std::fprintf(stderr, "qvctx-host: the session could not start: %s\n",
               failure.c_str());
  return kExitNoSession;
}

}  // namespace qvctx_host
