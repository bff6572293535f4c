// The two senders of the real library over the simulator, against the plain
// ways of doing the same work in the same run:
// - ServerRegisterFarFunction of 100 and 2009 bytes (one write each) against
//   the same package written straight to the simulator, and against staging
//   it in a block made with new + memset, as a buffer that clears its block by
//   hand would;
// - ServerSendBulkData of 1 MiB and 10 MiB - 1 against the same bytes written
//   straight to the simulator in 2010-byte chunks, and against memcpy;
// - a log line put to a file and flushed, the floor of every logged line.
// Each library benchmark runs twice: with the log folder present, so every
// line is written as in real use ("Logged"), and without it ("Unlogged").
// The log folder lives in a temporary drive C of this program's own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "wfsim/core/wfapi64_operations.h"

namespace {

constexpr std::uint32_t kCurrentSession = 0xFFFFFFFFu;
constexpr std::uint32_t kChunk = 2010;
constexpr std::size_t kStagingSize = 10485760;
// Written bytes are taken out of the simulator every so many small sends.
constexpr std::int64_t kDrainEvery = 4096;

// Two drive folders: one with the log folder, one without.
struct Drives {
  std::filesystem::path logged;
  std::filesystem::path unlogged;
};

Drives& TheDrives() {
  static Drives drives;
  return drives;
}

void SetDriveC(const std::filesystem::path& folder) {
#if defined(_WIN32)
  _putenv_s("QVCTX_DRIVE_C", folder.string().c_str());
#else
  // Only between sessions, when the library runs no thread.
  const std::string value = folder.string();
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  setenv("QVCTX_DRIVE_C", value.c_str(), 1);
#endif
}

// A session of the library on a freshly reset simulator, plus a handle of
// the benchmark's own on the same channel for the straight writes. Each run
// of a benchmark starts a new one, so the simulator's records and the log
// file start empty every time.
class BenchSession {
 public:
  explicit BenchSession(bool logged) {
    ServerCloseSession();
    const std::filesystem::path& drive =
        logged ? TheDrives().logged : TheDrives().unlogged;
    std::error_code ignored;
    std::filesystem::remove(drive / "temp" / "logs" / "myCitrixLog.log",
                            ignored);
    SetDriveC(drive);
    WfSimReset();
    started_ = ServerStartSession() == 0;
    char name[] = "qvctx";
    channel_ = WFVirtualChannelOpen(nullptr, kCurrentSession, name);
  }
  ~BenchSession() {
    WFVirtualChannelClose(channel_);
    ServerCloseSession();
    WfSimReset();
  }
  BenchSession(const BenchSession&) = delete;
  BenchSession& operator=(const BenchSession&) = delete;

  bool ok() const { return started_ && channel_ != nullptr; }
  void* channel() const { return channel_; }

 private:
  bool started_ = false;
  void* channel_ = nullptr;
};

std::vector<std::uint8_t> Package(std::size_t size) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(1 + i % 251);
  }
  bytes[4] = 7;  // a message id
  return bytes;
}

// Takes everything written out of the simulator, outside the timing.
void Drain(benchmark::State& state, std::vector<std::uint8_t>& scratch) {
  state.PauseTiming();
  while (WfSimTakeWritten(scratch.data(),
                          static_cast<std::uint32_t>(scratch.size())) != 0) {
  }
  state.ResumeTiming();
}

void FarFunction(benchmark::State& state, bool logged) {
  BenchSession session(logged);
  if (!session.ok()) return state.SkipWithError("no session");
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::vector<std::uint8_t> package = Package(size);
  std::vector<std::uint8_t> scratch(1u << 20);
  std::int64_t sent = 0;
  for (auto _ : state) {
    if (ServerRegisterFarFunction(package.data(),
                                  static_cast<std::int32_t>(size)) != 0) {
      return state.SkipWithError("send failed");
    }
    if (++sent % kDrainEvery == 0) Drain(state, scratch);
  }
}

void BM_FarFunctionLogged(benchmark::State& state) { FarFunction(state, true); }
void BM_FarFunctionUnlogged(benchmark::State& state) {
  FarFunction(state, false);
}

// Baseline: the same package, already stamped, written straight to the
// simulator: the floor that any sender pays.
void BM_SimWriteStraight(benchmark::State& state) {
  BenchSession session(false);
  if (!session.ok()) return state.SkipWithError("no session");
  const auto size = static_cast<std::uint32_t>(state.range(0));
  std::vector<std::uint8_t> package = Package(size);
  std::vector<std::uint8_t> scratch(1u << 20);
  std::int64_t sent = 0;
  for (auto _ : state) {
    std::uint32_t taken = 0;
    if (WFVirtualChannelWrite(session.channel(),
                              reinterpret_cast<char*>(package.data()), size,
                              &taken) == 0) {
      return state.SkipWithError("write failed");
    }
    if (++sent % kDrainEvery == 0) Drain(state, scratch);
  }
}

// Baseline: a staging block made the plain way, new + memset of 10 MiB, then
// the copy, the stamp and one write, as the far-function sender would do
// without zero pages (and without its log lines).
void BM_NewMemsetStagingWrite(benchmark::State& state) {
  BenchSession session(false);
  if (!session.ok()) return state.SkipWithError("no session");
  const auto size = static_cast<std::uint32_t>(state.range(0));
  const std::vector<std::uint8_t> package = Package(size);
  std::vector<std::uint8_t> scratch(1u << 20);
  std::int64_t sent = 0;
  for (auto _ : state) {
    char* staging = new char[kStagingSize];
    std::memset(staging, 0, kStagingSize);
    std::memcpy(staging, package.data(), size);
    const std::uint32_t stamp[3] = {0x27110000u, size, size};
    std::memcpy(staging, &stamp[0], 4);
    std::memcpy(staging + 8, &stamp[1], 8);
    std::uint32_t taken = 0;
    const bool ok =
        WFVirtualChannelWrite(session.channel(), staging, size, &taken) != 0;
    delete[] staging;
    if (!ok) return state.SkipWithError("write failed");
    if (++sent % kDrainEvery == 0) Drain(state, scratch);
  }
}

void BulkSend(benchmark::State& state, bool logged) {
  BenchSession session(logged);
  if (!session.ok()) return state.SkipWithError("no session");
  const auto size = static_cast<std::uint32_t>(state.range(0));
  const std::vector<std::uint8_t> data = Package(size);
  std::vector<std::uint8_t> scratch(1u << 20);
  for (auto _ : state) {
    if (ServerSendBulkData(data.data(), size) != 0) {
      return state.SkipWithError("send failed");
    }
    Drain(state, scratch);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

void BM_BulkSendLogged(benchmark::State& state) { BulkSend(state, true); }
void BM_BulkSendUnlogged(benchmark::State& state) { BulkSend(state, false); }

// Baseline: the same bytes written straight to the simulator in chunks.
void BM_SimWriteChunks(benchmark::State& state) {
  BenchSession session(false);
  if (!session.ok()) return state.SkipWithError("no session");
  const auto size = static_cast<std::uint32_t>(state.range(0));
  std::vector<std::uint8_t> data = Package(size);
  std::vector<std::uint8_t> scratch(1u << 20);
  for (auto _ : state) {
    for (std::uint32_t sent = 0; sent < size;) {
      std::uint32_t taken = 0;
      if (WFVirtualChannelWrite(session.channel(),
                                reinterpret_cast<char*>(data.data() + sent),
                                std::min(kChunk, size - sent), &taken) == 0) {
        return state.SkipWithError("write failed");
      }
      sent += taken;
    }
    Drain(state, scratch);
  }
  state.SetBytesProcessed(state.iterations() * size);
}

// Baseline: memcpy of the same bytes.
void BM_Memcpy(benchmark::State& state) {
  const auto size = static_cast<std::size_t>(state.range(0));
  const std::vector<std::uint8_t> data = Package(size);
  std::vector<std::uint8_t> copy(size);
  for (auto _ : state) {
    std::memcpy(copy.data(), data.data(), size);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(size));
}

// Floor of a logged call: one line of a log's length put to an open file in
// the log folder and flushed, as each of the call's lines is.
void BM_LogLineFlush(benchmark::State& state) {
  const std::filesystem::path path =
      TheDrives().logged / "temp" / "logs" / "floor.log";
  std::FILE* file = std::fopen(path.string().c_str(), "w");
  if (file == nullptr) return state.SkipWithError("no log folder");
  const char line[] =
      "09.12.2026 21:30:00.123 Info: -->> CtxRegisterFarFunction::datasize = "
      "100";
  for (auto _ : state) {
    if (std::fputs(line, file) < 0 || std::fputc('\n', file) == EOF ||
        std::fflush(file) != 0) {
      std::fclose(file);
      return state.SkipWithError("write failed");
    }
  }
  std::fclose(file);
}

constexpr int kRepetitions = 5;

void SmallSends(benchmark::internal::Benchmark* b) {
  b->Arg(100)->Arg(2009)->Repetitions(kRepetitions)->ReportAggregatesOnly(true);
}

void LargeSends(benchmark::internal::Benchmark* b) {
  b->Arg(1 << 20)
      ->Arg(10485759)
      ->Repetitions(kRepetitions)
      ->ReportAggregatesOnly(true)
      ->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_FarFunctionLogged)->Apply(SmallSends);
BENCHMARK(BM_FarFunctionUnlogged)->Apply(SmallSends);
BENCHMARK(BM_SimWriteStraight)->Apply(SmallSends);
BENCHMARK(BM_NewMemsetStagingWrite)->Apply(SmallSends);
BENCHMARK(BM_LogLineFlush)
    ->Repetitions(kRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_BulkSendLogged)->Apply(LargeSends);
BENCHMARK(BM_BulkSendUnlogged)->Apply(LargeSends);
BENCHMARK(BM_SimWriteChunks)->Apply(LargeSends);
BENCHMARK(BM_Memcpy)->Apply(LargeSends);

}  // namespace

int main(int argc, char** argv) {
  std::error_code error;
  const std::filesystem::path root =
      std::filesystem::temp_directory_path(error) / "qvctx_bench_send";
  TheDrives().logged = root / "logged";
  TheDrives().unlogged = root / "unlogged";
  std::filesystem::create_directories(TheDrives().logged / "temp" / "logs",
                                      error);
  std::filesystem::create_directories(TheDrives().unlogged, error);
  if (error) return 1;

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  ServerCloseSession();
  std::filesystem::remove_all(root, error);
  return 0;
}
