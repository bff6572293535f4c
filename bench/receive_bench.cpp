// The receive path of the real library, with the simulator as the client,
// against baselines in the same run:
// - a steady stream of 64 KiB packages from the client's queue to the host's
//   callback, and one round of them to an idle reader, against memcpy of the
//   same bytes and against the simulator alone (the same bytes queued and
//   read out in 2044-byte pieces without the library, on one thread and with
//   the client on a second one);
// - a burst of 10,000 packages of 100 bytes queued at once, until the last
//   one has reached the callback, each checked whole and in order;
// - the process CPU time of an idle reader over 2 s, against the same 2 s
//   without a session.
// Argument 0 runs without the log folder (nothing is logged), 1 with it (a
// line per package, as on a host whose log folder exists).
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "protocol/wire_format.h"
#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "wfsim/core/wfapi64_operations.h"

namespace {

using qvctx::kChannelReadSize;
using qvctx::kPackageHeadSize;
using qvctx::LoadLe32;
using qvctx::StoreLe32;

// `count` event packages of `size` bytes each, back to back.
std::vector<std::uint8_t> Packages(std::uint32_t count, std::uint32_t size) {
  std::vector<std::uint8_t> stream(static_cast<std::size_t>(count) * size);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::uint8_t* p = &stream[static_cast<std::size_t>(i) * size];
    p[0] = 1;  // FNCTyp: event
    p[1] = 0;
    p[2] = 0x11;  // magic 10001
    p[3] = 0x27;
    StoreLe32(p + 4, i + 1);
    StoreLe32(p + 8, size);
    StoreLe32(p + 12, size);
    for (std::uint32_t b = kPackageHeadSize; b < size; ++b) {
      p[b] = static_cast<std::uint8_t>(b + i);
    }
  }
  return stream;
}

// What the callback has received; the waiting thread is woken once the
// expected count is reached, not for every package.
struct Arrivals {
  std::atomic<std::uint64_t> packages{0};
  // Packages that were not the next of their stream, or not whole.
  std::atomic<std::uint64_t> damaged{0};
  std::uint32_t last_id = 0;  // the callbacks run on the one reader thread
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::uint64_t> target{0};
  std::mutex mutex;
  std::condition_variable reached;

  void WaitFor(std::uint64_t count) {
    std::unique_lock<std::mutex> hold(mutex);
    reached.wait_for(hold, std::chrono::seconds(60),
                     [&] { return packages.load() >= count; });
  }
};
Arrivals g_arrivals;

// Each stream numbers its packages from 1, and the last byte of package i
// (numbered from 0) of size s is (s - 1 + i) mod 256, as Packages lays it out.
void OnPackage(const std::uint8_t* package, std::uint32_t length) {
  const std::uint32_t id = LoadLe32(package + 4);
  const bool next = id == 1 || id == g_arrivals.last_id + 1;
  const bool whole =
      LoadLe32(package + 8) == length &&
      package[length - 1] == static_cast<std::uint8_t>(length - 1 + (id - 1));
  if (!next || !whole) g_arrivals.damaged.fetch_add(1);
  g_arrivals.last_id = id;
  g_arrivals.bytes.fetch_add(length);
  if (g_arrivals.packages.fetch_add(1) + 1 == g_arrivals.target.load()) {
    std::lock_guard<std::mutex> hold(g_arrivals.mutex);
    g_arrivals.reached.notify_all();
  }
}

void SetEnv(const char* name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);  // NOLINT(concurrency-mt-unsafe): one thread
#endif
}

// The library's drive C for this run: a folder with or without the log
// folder "temp/logs" in it (on Windows the real C: is used as it is).
void ChooseLogFolder(bool with_log) {
  const std::filesystem::path drive =
      std::filesystem::temp_directory_path() /
      (with_log ? "qvctx-bench-log" : "qvctx-bench-nolog");
  std::filesystem::remove_all(drive);
  if (with_log) std::filesystem::create_directories(drive / "temp" / "logs");
  SetEnv("QVCTX_DRIVE_C", drive.string());
}

// An open session whose two callbacks count what arrives.
class Session {
 public:
  explicit Session(bool with_log) {
    ChooseLogFolder(with_log);
    WfSimReset();
    ServerRegisterEventCallBackFunction(&OnPackage);
    ServerRegisterResultCallBackFunction(&OnPackage);
    ok_ = ServerStartSession() == 0;
  }
  ~Session() { ServerCloseSession(); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;
  bool ok() const { return ok_; }

 private:
  bool ok_ = false;
};

// Queues `stream` (of `count` packages) and waits until the last package has
// reached the callback.
void DeliverAndWait(const std::vector<std::uint8_t>& stream,
                    std::uint64_t count) {
  const std::uint64_t target = g_arrivals.packages.load() + count;
  g_arrivals.target.store(target);
  WfSimClientSend(stream.data(), static_cast<std::uint32_t>(stream.size()));
  g_arrivals.WaitFor(target);
}

constexpr std::uint32_t k64KiB = 64 * 1024;
constexpr std::uint32_t kPackagesPerRound = 256;  // 16 MiB a round

// Whether every package of the run arrived, whole and in order.
void CheckArrivals(benchmark::State& state, std::uint64_t before,
                   std::uint64_t expected) {
  if (g_arrivals.packages.load() - before != expected) {
    state.SkipWithError("packages were lost");
  } else if (g_arrivals.damaged.load() != 0) {
    state.SkipWithError("packages out of order or not whole");
  }
}

// A steady stream of 64 KiB packages: the client keeps a whole round queued
// beyond the one the reader drains, so the reader never finds the channel
// empty and never takes its idle pause; the figure is the rate at which
// bytes move from the client to the callback.
void BM_Receive64KiBPackages(benchmark::State& state) {
  Session session(state.range(0) != 0);
  if (!session.ok()) {
    state.SkipWithError("ServerStartSession failed");
    return;
  }
  const std::vector<std::uint8_t> stream = Packages(kPackagesPerRound, k64KiB);
  const auto send = [&] {
    WfSimClientSend(stream.data(), static_cast<std::uint32_t>(stream.size()));
  };
  const std::uint64_t before = g_arrivals.packages.load();
  std::uint64_t drained = before + kPackagesPerRound;
  g_arrivals.target.store(drained);
  send();
  send();
  for (auto _ : state) {
    g_arrivals.WaitFor(drained);
    drained += kPackagesPerRound;
    g_arrivals.target.store(drained);
    send();
  }
  // About 8,208 when the reader never found the channel empty.
  state.counters["reads_per_round"] =
      static_cast<double>(WfSimCallCount(WFSIM_READ)) /
      static_cast<double>(state.iterations() + 2);
  // The two rounds still queued, untimed.
  g_arrivals.target.store(drained + kPackagesPerRound);
  g_arrivals.WaitFor(drained + kPackagesPerRound);
  CheckArrivals(
      state, before,
      (static_cast<std::uint64_t>(state.iterations()) + 2) * kPackagesPerRound);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_Receive64KiBPackages)->Arg(0)->Arg(1)->UseRealTime();

// One round of 16 MiB queued at once to an idle reader, until its last
// package is in: the stream's rate plus the up to 1 ms the idle reader takes
// to poll again.
void BM_Receive64KiBRoundFromIdle(benchmark::State& state) {
  Session session(false);
  if (!session.ok()) {
    state.SkipWithError("ServerStartSession failed");
    return;
  }
  const std::vector<std::uint8_t> stream = Packages(kPackagesPerRound, k64KiB);
  const std::uint64_t before = g_arrivals.packages.load();
  for (auto _ : state) DeliverAndWait(stream, kPackagesPerRound);
  CheckArrivals(
      state, before,
      static_cast<std::uint64_t>(state.iterations()) * kPackagesPerRound);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_Receive64KiBRoundFromIdle)->UseRealTime();

// Baseline: copying the same bytes once.
void BM_Memcpy64KiBPackages(benchmark::State& state) {
  const std::vector<std::uint8_t> stream = Packages(kPackagesPerRound, k64KiB);
  std::vector<std::uint8_t> target(stream.size());
  for (auto _ : state) {
    std::memcpy(target.data(), stream.data(), stream.size());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * stream.size());
}
// Real time, as the receive is measured: it runs on two threads.
BENCHMARK(BM_Memcpy64KiBPackages)->UseRealTime();

// The simulator's channel "qvctx", opened after a reset, for the baselines
// that read without the library.
void* OpenSimChannel() {
  WfSimReset();
  char name[] = "qvctx";
  return WFVirtualChannelOpen(nullptr, 0xFFFFFFFFu, name);
}

// Reads `bytes` out of the channel in pieces of the reader's size.
void ReadOut(void* channel, std::uint64_t bytes, std::vector<char>& piece) {
  for (std::uint64_t read = 0; read < bytes;) {
    std::uint32_t count = 0;
    WFVirtualChannelRead(channel, 0, piece.data(), kChannelReadSize, &count);
    read += count;
  }
  benchmark::DoNotOptimize(piece.data());
}

// Baseline: the simulator alone, the same bytes queued and read out in
// pieces of the reader's size on this thread, without the library.
void BM_SimulatorQueueAndRead64KiBPackages(benchmark::State& state) {
  void* channel = OpenSimChannel();
  const std::vector<std::uint8_t> stream = Packages(kPackagesPerRound, k64KiB);
  std::vector<char> piece(std::size_t{2} * kChannelReadSize);
  for (auto _ : state) {
    WfSimClientSend(stream.data(), static_cast<std::uint32_t>(stream.size()));
    ReadOut(channel, stream.size(), piece);
  }
  WFVirtualChannelClose(channel);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_SimulatorQueueAndRead64KiBPackages)->UseRealTime();

// Baseline: the simulator alone with the client on a thread of its own, as
// in a receive: a thread keeps two rounds queued ahead, this one reads them
// out in pieces of the reader's size, without the library.
void BM_SimulatorTwoThreads64KiBPackages(benchmark::State& state) {
  void* channel = OpenSimChannel();
  const std::vector<std::uint8_t> stream = Packages(kPackagesPerRound, k64KiB);
  std::vector<char> piece(std::size_t{2} * kChannelReadSize);
  std::mutex mutex;
  std::condition_variable changed;
  std::uint64_t rounds_read = 0;
  bool stop = false;
  std::thread client([&] {
    for (std::uint64_t sent = 0;; ++sent) {
      {
        std::unique_lock<std::mutex> hold(mutex);
        changed.wait(hold, [&] { return stop || sent < rounds_read + 2; });
        if (stop) return;
      }
      WfSimClientSend(stream.data(), static_cast<std::uint32_t>(stream.size()));
    }
  });
  for (auto _ : state) {
    ReadOut(channel, stream.size(), piece);
    std::lock_guard<std::mutex> hold(mutex);
    ++rounds_read;
    changed.notify_all();
  }
  {
    std::lock_guard<std::mutex> hold(mutex);
    stop = true;
    changed.notify_all();
  }
  client.join();
  WFVirtualChannelClose(channel);
  state.SetBytesProcessed(state.iterations() * stream.size());
}
BENCHMARK(BM_SimulatorTwoThreads64KiBPackages)->UseRealTime();

// A burst of 10,000 packages of 100 bytes queued at once: the time from the
// queuing to the last package's callback.
void BM_Burst10000Packages(benchmark::State& state) {
  constexpr std::uint32_t kBurst = 10000;
  Session session(state.range(0) != 0);
  if (!session.ok()) {
    state.SkipWithError("ServerStartSession failed");
    return;
  }
  const std::vector<std::uint8_t> burst = Packages(kBurst, 100);
  const std::uint64_t before = g_arrivals.packages.load();
  for (auto _ : state) DeliverAndWait(burst, kBurst);
  if (g_arrivals.packages.load() - before !=
      static_cast<std::uint64_t>(state.iterations()) * kBurst) {
    state.SkipWithError("packages were lost");
  } else if (g_arrivals.damaged.load() != 0) {
    state.SkipWithError("packages out of order or not whole");
  }
  state.counters["packages/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * kBurst),
                         benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Burst10000Packages)
    ->Arg(0)
    ->Arg(1)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// The CPU time of the whole process, all threads.
double ProcessCpuSeconds() {
#if defined(_WIN32)
  FILETIME created, ended, kernel, user;
  GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
  auto seconds = [](const FILETIME& t) {
    return static_cast<double>(
               (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) |
               t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
#else
  return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
#endif
}

// Two seconds of sleep on this thread, with the idle reader polling (1) or
// without a session (0); reports the process CPU time and the polls.
void BM_IdleTwoSeconds(benchmark::State& state) {
  const bool with_reader = state.range(0) != 0;
  std::unique_ptr<Session> session;
  if (with_reader) {
    session = std::make_unique<Session>(false);
    if (!session->ok()) {
      state.SkipWithError("ServerStartSession failed");
      return;
    }
  }
  double cpu = 0;
  std::uint64_t polls = 0;
  for (auto _ : state) {
    const std::uint64_t reads = WfSimCallCount(WFSIM_READ);
    const double start = ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(2));
    cpu += ProcessCpuSeconds() - start;
    polls += WfSimCallCount(WFSIM_READ) - reads;
  }
  const double runs = static_cast<double>(state.iterations());
  state.counters["process_cpu_ms"] = cpu * 1000 / runs;
  state.counters["cpu_percent"] = cpu * 100 / (2 * runs);
  state.counters["polls"] = static_cast<double>(polls) / runs;
}
BENCHMARK(BM_IdleTwoSeconds)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
