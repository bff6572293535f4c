// What the reader's pace costs on a server, with the tests' build of the
// library (its sleep can last a Windows server's 15.6 ms timer tick) and the
// simulator as the platform. Three paces: the fixed cadence under a 1 ms
// tick, the fixed cadence under a 15.6 ms tick, and readWaitMs=50.
// - The first package after an idle moment: from the client's send to the
//   host's callback, median and 99th percentile.
// - The close of an idle session.
// - N idle sessions, one per process (each loads the library and the
//   simulator): their CPU time per second of wall time, resident memory and
//   threads per session; the cadence against readWaitMs=50.
// - A platform that ignores the read's time-out: reads per millisecond.
// Each figure runs in processes of its own, which read their configuration
// at load from $XDG_CONFIG_HOME (no log folder: nothing is logged).
//   bench_idle [--sessions N] [--seconds S] [--rounds R] [--json-out FILE]
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/library_test_helper.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kWindowsTickUs = 15600;

std::atomic<std::int64_t> g_arrived_ns{0};
std::atomic<std::uint32_t> g_arrivals{0};

std::int64_t NowNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             Clock::now().time_since_epoch())
      .count();
}

void OnEvent(const std::uint8_t* /*package*/, std::uint32_t /*length*/) {
  g_arrived_ns.store(NowNs());
  g_arrivals.fetch_add(1);
}

double Percentile(std::vector<double> values, double share) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t at = static_cast<std::size_t>(
      share * static_cast<double>(values.size() - 1) + 0.5);
  return values[at];
}

void SleepMs(double ms) {
  std::this_thread::sleep_for(
      std::chrono::microseconds(static_cast<std::int64_t>(ms * 1000)));
}

// In a child: the first package after idle moments of 20 to 36 ms (so the
// sends fall at every phase of the tick), then idle closes; prints
// "latency_median_ns latency_p99_ns close_median_ns".
int RunLatencyChild(std::uint32_t tick_us, int rounds) {
  QvctxTestingSetSleepTick(tick_us);
  ServerRegisterEventCallBackFunction(&OnEvent);
  if (ServerStartSession() != 0) return 1;
  const std::uint8_t payload[16] = {};
  std::vector<double> latencies;
  for (int i = 0; i < rounds; ++i) {
    SleepMs(20 + (i * 3.7 - 16 * static_cast<int>(i * 3.7 / 16)));
    const std::uint32_t before = g_arrivals.load();
    const std::int64_t sent = NowNs();
    WfSimClientSendEvent(static_cast<std::uint32_t>(i + 1), payload,
                         sizeof(payload));
    const Clock::time_point deadline = Clock::now() + std::chrono::seconds(5);
    while (g_arrivals.load() == before && Clock::now() < deadline) {
      std::this_thread::yield();
    }
    if (g_arrivals.load() == before) return 1;
    latencies.push_back(static_cast<double>(g_arrived_ns.load() - sent));
  }
  std::vector<double> closes;
  for (int i = 0; i < 10; ++i) {
    if (i != 0 && ServerStartSession() != 0) return 1;
    SleepMs(100 + i * 3.7);
    const std::int64_t began = NowNs();
    ServerCloseSession();
    closes.push_back(static_cast<double>(NowNs() - began));
  }
  std::printf("%.0f %.0f %.0f\n", Percentile(latencies, 0.5),
              Percentile(latencies, 0.99), Percentile(closes, 0.5));
  return 0;
}

// In a child: a session whose platform ignores read time-outs; prints the
// reads per millisecond over `seconds`.
int RunIgnoredTimeoutChild(double seconds) {
  WfSimIgnoreReadTimeouts(1);
  if (ServerStartSession() != 0) return 1;
  SleepMs(100);
  const std::uint64_t reads = WfSimCallCount(WFSIM_READ);
  const Clock::time_point began = Clock::now();
  SleepMs(seconds * 1000);
  const double ms =
      std::chrono::duration<double, std::milli>(Clock::now() - began).count();
  std::printf("%.3f\n",
              static_cast<double>(WfSimCallCount(WFSIM_READ) - reads) / ms);
  ServerCloseSession();
  return 0;
}

// In a child: an idle session until the parent closes standard input.
int RunIdleChild() {
  if (ServerStartSession() != 0) return 1;
  std::printf("ready\n");
  std::fflush(stdout);
  char byte = 0;
  while (read(0, &byte, 1) > 0) {
  }
  ServerCloseSession();
  return 0;
}

struct Child {
  pid_t pid = -1;
  int to_child = -1;    // its standard input
  int from_child = -1;  // its standard output
};

// Starts this program as a child with `args`, its configuration folder
// `config_home` and a drive without a log folder.
Child Spawn(const std::string& root, const std::string& config_home,
            const std::vector<std::string>& args) {
  int in[2];
  int out[2];
  // Close-on-exec, so no child holds another child's pipe ends open.
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return Child{};
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    close(in[0]);
    close(in[1]);
    close(out[0]);
    close(out[1]);
    setenv("XDG_CONFIG_HOME", config_home.c_str(), 1);
    setenv("QVCTX_DRIVE_C", (root + "/drive").c_str(), 1);
    unsetenv("QVCTX_SIM_CONNECT");
    unsetenv("QVCTX_SIM_RECORD");
    std::vector<char*> argv;
    static char self[] = "/proc/self/exe";
    argv.push_back(self);
    for (const std::string& arg : args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execv(self, argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  return Child{pid, in[1], out[0]};
}

// The child's first line of output.
std::string ReadLine(const Child& child) {
  std::string line;
  char byte = 0;
  while (read(child.from_child, &byte, 1) == 1 && byte != '\n') line += byte;
  return line;
}

int Finish(Child& child) {
  close(child.to_child);
  close(child.from_child);
  int status = 0;
  waitpid(child.pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}

// One child's whole output line.
std::string RunChild(const std::string& root, const std::string& config_home,
                     const std::vector<std::string>& args) {
  Child child = Spawn(root, config_home, args);
  if (child.pid <= 0) return "";
  const std::string line = ReadLine(child);
  return Finish(child) == 0 ? line : "";
}

// Utime + stime in seconds, resident KiB and threads of a process.
struct Usage {
  double cpu_seconds = 0;
  double rss_kib = 0;
  double threads = 0;
};

Usage UsageOf(pid_t pid) {
  Usage usage;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)),
                   std::istreambuf_iterator<char>());
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  double ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i >= 14) ticks += std::stod(field);
  }
  usage.cpu_seconds = ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) usage.rss_kib = std::stod(line.substr(6));
    if (line.rfind("Threads:", 0) == 0) {
      usage.threads = std::stod(line.substr(8));
    }
  }
  return usage;
}

// N idle sessions, one per process: total CPU per wall second (share of one
// core), resident MiB and threads per session.
bool MeasureIdleSessions(const std::string& root,
                         const std::string& config_home, int sessions,
                         double seconds, double* cpu_share, double* rss_mib,
                         double* threads) {
  std::vector<Child> children;
  bool ok = true;
  for (int i = 0; i < sessions; ++i) {
    children.push_back(Spawn(root, config_home, {"--child", "idle"}));
    ok = ok && children.back().pid > 0;
  }
  for (const Child& child : children) {
    ok = ok && child.pid > 0 && ReadLine(child) == "ready";
  }
  SleepMs(500);
  double cpu_before = 0;
  for (const Child& child : children)
    cpu_before += UsageOf(child.pid).cpu_seconds;
  const Clock::time_point began = Clock::now();
  SleepMs(seconds * 1000);
  double cpu_after = 0;
  double rss = 0;
  double thread_count = 0;
  for (const Child& child : children) {
    const Usage usage = UsageOf(child.pid);
    cpu_after += usage.cpu_seconds;
    rss += usage.rss_kib;
    thread_count += usage.threads;
  }
  const double wall =
      std::chrono::duration<double>(Clock::now() - began).count();
  for (Child& child : children) ok = Finish(child) == 0 && ok;
  *cpu_share = (cpu_after - cpu_before) / wall;
  *rss_mib = rss / 1024 / sessions;
  *threads = thread_count / sessions;
  return ok;
}

void WriteConfig(const std::string& config_home, const char* text) {
  const std::string quorvel = config_home + "/Quorvel";
  mkdir(config_home.c_str(), 0755);
  mkdir(quorvel.c_str(), 0755);
  mkdir((quorvel + "/QVCTXExtension").c_str(), 0755);
  std::ofstream(quorvel + "/QVCTXExtension/config.ini") << text;
}

}  // namespace

int main(int argc, char** argv) {
  int sessions = 100;
  double seconds = 3;
  int rounds = 150;
  std::string json_out;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const std::string value = argv[i + 1];
    if (option == "--child" && value == "idle") return RunIdleChild();
    if (option == "--child" && value == "ignored") {
      return RunIgnoredTimeoutChild(1.0);
    }
    if (option == "--child" && value == "latency" && i + 3 < argc) {
      return RunLatencyChild(
          static_cast<std::uint32_t>(std::strtoul(argv[i + 2], nullptr, 10)),
          std::atoi(argv[i + 3]));
    }
    if (option == "--sessions") sessions = std::atoi(value.c_str());
    if (option == "--seconds") seconds = std::atof(value.c_str());
    if (option == "--rounds") rounds = std::atoi(value.c_str());
    if (option == "--json-out") json_out = value;
  }
  if (sessions < 1 || seconds <= 0 || rounds < 1) {
    std::fprintf(stderr,
                 "usage: bench_idle [--sessions N] [--seconds S] [--rounds R] "
                 "[--json-out FILE]\n");
    return 2;
  }
  char pattern[] = "/tmp/qvctx-idle-bench-XXXXXX";
  const char* made = mkdtemp(pattern);
  if (made == nullptr) return 1;
  const std::string root = made;
  const std::string cadence = root + "/cadence";
  const std::string waiting = root + "/wait50";
  WriteConfig(cadence, "");
  WriteConfig(waiting, "[common]\nreadWaitMs=50\n");
  mkdir((root + "/drive").c_str(), 0755);

  std::ostringstream json;
  json << "{\"idle_bench\": {\"sessions\": " << sessions
       << ", \"seconds\": " << seconds << ", \"rounds\": " << rounds;
  bool ok = true;
  const struct {
    const char* key;
    const std::string* config;
    std::uint32_t tick_us;
  } paces[] = {{"cadence_1ms_tick", &cadence, 0},
               {"cadence_15_6ms_tick", &cadence, kWindowsTickUs},
               {"wait50", &waiting, 0}};
  for (const auto& pace : paces) {
    std::fprintf(stderr, "bench_idle: first package and close, %s\n", pace.key);
    const std::string line =
        RunChild(root, *pace.config,
                 {"--child", "latency", std::to_string(pace.tick_us),
                  std::to_string(rounds)});
    double median = 0;
    double p99 = 0;
    double close_ns = 0;
    std::istringstream(line) >> median >> p99 >> close_ns;
    ok = ok && !line.empty();
    json << ", \"" << pace.key << "\": {\"first_package_median_ns\": " << median
         << ", \"first_package_p99_ns\": " << p99
         << ", \"idle_close_median_ns\": " << close_ns << "}";
  }
  std::fprintf(stderr, "bench_idle: a platform that ignores the time-out\n");
  const std::string ignored = RunChild(root, waiting, {"--child", "ignored"});
  ok = ok && !ignored.empty();
  json << ", \"ignored_timeout_reads_per_ms\": "
       << (ignored.empty() ? "0" : ignored);
  for (const auto& pace : {paces[0], paces[2]}) {
    std::fprintf(stderr, "bench_idle: %d idle sessions, %s\n", sessions,
                 pace.key);
    double cpu = 0;
    double rss = 0;
    double threads = 0;
    ok = MeasureIdleSessions(root, *pace.config, sessions, seconds, &cpu, &rss,
                             &threads) &&
         ok;
    json << ", \"idle_" << pace.key << "\": {\"cpu_share\": " << cpu
         << ", \"rss_mib_per_session\": " << rss
         << ", \"threads_per_session\": " << threads << "}";
  }
  json << ", \"ok\": " << (ok ? "true" : "false") << "}}\n";
  std::filesystem::remove_all(root);
  if (json_out.empty()) {
    std::fputs(json.str().c_str(), stdout);
  } else {
    std::ofstream(json_out) << json.str();
  }
  return ok ? 0 : 1;
}
