// qvctx-host: a sample host. It loads the library by path the way a real host
// does, registers both callbacks, starts a session against the simulator's
// built-in client, sends far-function calls, checks every answer byte for
// byte, prints the session log and closes.
//
// Usage: qvctx-host [--calls N] [--size BYTES] [--events N]
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;
using StartFn = std::int32_t (*)();
using RegisterFn = std::int32_t (*)(PackageCallBack);
using SendFn = std::int32_t (*)(const void*, std::int32_t);
using LogFn = const char* (*)();
using FreeLogFn = void (*)();

constexpr std::uint32_t kHeaderSize = 34;

struct Answers {
  std::mutex mutex;
  std::vector<std::vector<std::uint8_t>> results;
  std::atomic<int> results_count{0};
  std::atomic<int> events_count{0};
};
Answers g_answers;

void OnResult(const std::uint8_t* package, std::uint32_t length) {
  std::lock_guard<std::mutex> hold(g_answers.mutex);
  g_answers.results.emplace_back(package, package + length);
  g_answers.results_count++;
}

void OnEvent(const std::uint8_t* /*package*/, std::uint32_t /*length*/) {
  g_answers.events_count++;
}

std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

std::vector<std::uint8_t> Call(std::uint32_t message_id, std::uint32_t size) {
  std::vector<std::uint8_t> package(size, 0);
  for (int i = 0; i < 4; ++i) package[4 + i] = static_cast<std::uint8_t>(message_id >> (8 * i));
  for (std::uint32_t i = kHeaderSize; i < size; ++i) {
    package[i] = static_cast<std::uint8_t>(message_id * 7 + i);
  }
  return package;
}

int Fail(const char* what) {
  std::fprintf(stderr, "qvctx-host: %s\n", what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  int calls = 20;
  std::uint32_t size = 1000;
  int events = 5;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    const long value = std::strtol(argv[i + 1], nullptr, 10);
    if (option == "--calls") calls = static_cast<int>(value);
    if (option == "--size") size = static_cast<std::uint32_t>(value);
    if (option == "--events") events = static_cast<int>(value);
  }
  if (size < kHeaderSize) size = kHeaderSize;

  qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
  if (!library.ok()) return Fail("cannot load the library");
  const auto start = library.Function<StartFn>("ServerStartSession");
  const auto close = library.Function<StartFn>("ServerCloseSession");
  const auto on_event = library.Function<RegisterFn>("ServerRegisterEventCallBackFunction");
  const auto on_result = library.Function<RegisterFn>("ServerRegisterResultCallBackFunction");
  const auto send = library.Function<SendFn>("ServerRegisterFarFunction");
  const auto session_log = library.Function<LogFn>("ServerSessionLog");
  const auto free_log = library.Function<FreeLogFn>("ServerSessionFreeLog");
  if (!start || !close || !on_event || !on_result || !send || !session_log || !free_log) {
    return Fail("the library lacks an export");
  }

  WfSimReset();
  WfSimSetBuiltInClient(1);
  on_event(OnEvent);
  on_result(OnResult);
  if (start() != 0) return Fail("ServerStartSession failed");

  const auto began = Clock::now();
  std::uint64_t bytes_sent = 0;
  for (int i = 0; i < calls; ++i) {
    const std::vector<std::uint8_t> package = Call(static_cast<std::uint32_t>(i + 1), size);
    if (send(package.data(), static_cast<std::int32_t>(package.size())) != 0) {
      return Fail("ServerRegisterFarFunction failed");
    }
    bytes_sent += package.size();
  }
  for (int i = 0; i < events; ++i) WfSimClientSendEvent(90000 + i, "event", 5);
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  while ((g_answers.results_count < calls || g_answers.events_count < events) &&
         Clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - began).count();

  int intact = 0;
  std::uint64_t bytes_received = 0;
  {
    std::lock_guard<std::mutex> hold(g_answers.mutex);
    for (const std::vector<std::uint8_t>& answer : g_answers.results) {
      bytes_received += answer.size();
      const std::uint32_t id = Load32(&answer[4]);
      const std::vector<std::uint8_t> sent = Call(id, size);
      if (answer.size() == sent.size() && answer[0] == 2 &&
          std::memcmp(answer.data() + kHeaderSize, sent.data() + kHeaderSize,
                      sent.size() - kHeaderSize) == 0) {
        ++intact;
      }
    }
  }

  std::printf("session log: %s\n", session_log());
  free_log();
  close();

  std::printf("calls sent: %d, answered: %d, intact: %d\n", calls,
              g_answers.results_count.load(), intact);
  std::printf("client events received: %d of %d\n", g_answers.events_count.load(), events);
  std::printf("bytes sent: %llu, received: %llu, in %.3f s\n",
              static_cast<unsigned long long>(bytes_sent),
              static_cast<unsigned long long>(bytes_received), seconds);
  std::printf("log file: %s\n", qvctx_test::LogFilePath().c_str());
  const bool ok = intact == calls && g_answers.events_count == events;
  std::printf("%s\n", ok ? "every answer arrived intact" : "ANSWERS MISSING OR WRONG");
  return ok ? 0 : 1;
}
