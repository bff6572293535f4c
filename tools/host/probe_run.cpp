#include "probe_run.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
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

// The first result after the probe's send.
struct Answer {
  bool came = false;
  std::uint32_t message_id = 0;
  std::uint32_t size = 0;
  double after_seconds = 0;           // after the send began
  std::vector<std::uint8_t> payload;  // its first bytes
};

// Payload bytes of the answer shown.
constexpr std::size_t kAnswerShown = 16;

// What the callbacks saw; fed on the library's reader thread.
class ArrivalLog {
 public:
  void Begin() {
    std::lock_guard<std::mutex> hold(mutex_);
    began_ = Clock::now();
  }

  // The send begins: the next result is its answer.
  void Arm() {
    std::lock_guard<std::mutex> hold(mutex_);
    armed_ = true;
    sent_at_ = Clock::now();
  }

  // Waits up to `seconds` for the answer; false when none came.
  bool WaitForAnswer(double seconds, Answer* answer) {
    std::unique_lock<std::mutex> hold(mutex_);
    answered_.wait_for(hold, std::chrono::duration<double>(seconds),
                       [this] { return answer_.came; });
    *answer = answer_;
    return answer_.came;
  }

  void Add(bool event, const std::uint8_t* package, std::uint32_t length) {
    Arrival arrival;
    arrival.event = event;
    arrival.size = length;
    if (package != nullptr && length >= qvctx::kPackageHeadSize) {
      arrival.message_id = qvctx::LoadLe32(package + qvctx::kMessageIdOffset);
    }
    std::lock_guard<std::mutex> hold(mutex_);
    const Clock::time_point now = Clock::now();
    arrival.at_seconds = std::chrono::duration<double>(now - began_).count();
    (event ? events_ : results_).Add(length);
    if (listed_.size() < kMostListed) listed_.push_back(arrival);
    if (!event && armed_ && !answer_.came) {
      answer_.came = true;
      answer_.message_id = arrival.message_id;
      answer_.size = length;
      answer_.after_seconds =
          std::chrono::duration<double>(now - sent_at_).count();
      if (package != nullptr && length > qvctx::kPackageHeadSize) {
        answer_.payload.assign(
            package + qvctx::kPackageHeadSize,
            package + std::min<std::size_t>(
                          length, qvctx::kPackageHeadSize + kAnswerShown));
      }
      answered_.notify_all();
    }
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
  std::condition_variable answered_;
  Clock::time_point began_;
  bool armed_ = false;
  Clock::time_point sent_at_;
  Answer answer_;
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

std::vector<std::uint8_t> ReadPackageFile(const std::string& path,
                                          std::string* error) {
  std::FILE* const file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *error = "--send: cannot read " + path;
    return {};
  }
  // One byte more than the largest package, to tell a longer file.
  std::vector<std::uint8_t> package(std::size_t{qvctx::kShiftBufferCapacity} +
                                    1);
  package.resize(std::fread(package.data(), 1, package.size(), file));
  std::fclose(file);
  const std::uint8_t* const front = package.data();
  if (package.size() < qvctx::kPackageHeadSize ||
      !qvctx::ClientFramesPackage(qvctx::ReadFncTyp(front),
                                  qvctx::ReadMagic(front),
                                  qvctx::ReadDatasize(front)) ||
      qvctx::ReadDatasize(front) != package.size()) {
    *error = "--send: " + path +
             " holds no whole package (a header with the magic 10001 and "
             "its datasize the file's length; qvctx-dump --extract writes "
             "one)";
    return {};
  }
  return package;
}

int RunProbe(const HostOptions& options, const QvctxApi& api,
             const std::string& library, const std::string& platform,
             const std::vector<std::uint8_t>& package) {
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
  int exit_code = 0;
  std::int32_t sent = -1;  // ServerSendBulkData's result; -1: not sent
  Answer answer;
  if (started != 0) {
    failure = "the session could not start: ServerStartSession returned " +
              std::to_string(started);
    const std::string why = SessionLogErrors(start_log);
    if (!why.empty()) failure += ": " + why;
    exit_code = kExitNoSession;
  } else if (!package.empty()) {
    g_arrivals.Arm();
    sent = api.send_bulk(package.data(),
                         static_cast<std::uint32_t>(package.size()));
    char seconds[40];
    std::snprintf(seconds, sizeof(seconds), "%g", options.probe_seconds);
    if (sent != 0) {
      failure = "the send failed: ServerSendBulkData returned " +
                std::to_string(sent);
      exit_code = kExitSendFailed;
    } else if (!g_arrivals.WaitForAnswer(options.probe_seconds, &answer)) {
      failure = std::string("no answer within ") + seconds + " s";
      exit_code = kExitNoAnswer;
    }
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
  const std::uint32_t sent_id =
      package.empty() ? 0 : qvctx::ReadMessageId(package.data());
  char after[40];
  std::snprintf(after, sizeof(after), "%.3f", answer.after_seconds * 1e3);
  if (options.json) {
    std::string json =
        "{\"ok\":" + std::string(failure.empty() ? "true" : "false");
    json += ",\"mode\":\"probe\",\"library\":" + JsonQuoted(library);
    json += ",\"platform\":" + JsonQuoted(platform);
    json += ",\"start_result\":" + std::to_string(started);
    char seconds[40];
    std::snprintf(seconds, sizeof(seconds), "%g", options.probe_seconds);
    json += ",\"seconds\":" + std::string(seconds);
    if (!package.empty()) {
      json += ",\"send\":{\"file\":" + JsonQuoted(options.send_file) +
              ",\"message_id\":" + std::to_string(sent_id) +
              ",\"size\":" + std::to_string(package.size()) +
              ",\"result\":" + (sent < 0 ? "null" : std::to_string(sent)) + "}";
      json += ",\"answer\":";
      json += answer.came
                  ? "{\"message_id\":" + std::to_string(answer.message_id) +
                        ",\"size\":" + std::to_string(answer.size) +
                        ",\"after_ms\":" + after + "}"
                  : std::string("null");
    }
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
    if (started == 0) {
      if (!package.empty()) {
        std::printf(
            "sent       %s: messageID 0x%08X, %zu bytes, "
            "ServerSendBulkData returned %d\n",
            options.send_file.c_str(), static_cast<unsigned>(sent_id),
            package.size(), static_cast<int>(sent));
        if (answer.came) {
          std::printf(
              "answer     result messageID 0x%08X, %u bytes, after "
              "%s ms; payload",
              static_cast<unsigned>(answer.message_id), answer.size, after);
          for (const std::uint8_t byte : answer.payload) {
            std::printf(" %02x", static_cast<unsigned>(byte));
          }
          std::printf("\n");
        } else if (sent == 0) {
          std::printf("answer     none within %g s\n", options.probe_seconds);
        }
      } else {
        std::printf("listened   %g s\n", options.probe_seconds);
      }
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
  if (!failure.empty()) {
    std::fprintf(stderr, "qvctx-host: %s\n", failure.c_str());
  }
  return exit_code;
}

}  // namespace qvctx_host
