// A host process of the load tests: loads the library by path, waits until
// the go file exists, calls one informational export `count` times, unloads.
//   load_test_writer EXPORT COUNT GO_FILE
// Or a host whose main returns with its session running (the reader idle,
// inside a callback that never returns, waiting in its read, or working
// through a backlog while another thread sends); it must end with exit code
// 7 all the same, while the simulator's state ends at exit (POSIX):
//   load_test_writer end-with idle|callback|read|backlog
// Or (Windows) a writer of another process frozen while it holds the log's
// append lock: it takes the lock, creates HELD_FILE and holds the lock until
// the log holds LINE, which another host writes meanwhile (0), or the tests'
// time limit passed (8):
//   load_test_writer hold-lock HELD_FILE LINE
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace {

constexpr int kOwnExitCode = 7;
std::atomic<bool> g_in_callback{false};

void StayInCallback(const std::uint8_t* /*package*/, std::uint32_t /*length*/) {
  g_in_callback = true;
  for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
}

void Ignore(const std::uint8_t* /*package*/, std::uint32_t /*length*/) {}

int EndWithSessionRunning(const std::string& how) {
  // Neither library is ever unloaded: the process ends with both. The
  // simulator's state ends at exit, as a real platform library's does.
  qvctx_test::SetEnv("QVCTX_SIM_END_AT_EXIT", "1");
  auto* qvctx = new qvctx_test::LoadedLibrary(qvctx_test::LibraryPath("qvctx"));
  auto* sim = new qvctx_test::LoadedLibrary(qvctx_test::LibraryPath("wfapi64"));
#define QVCTX_LOOKUP(library, name) library->Function<decltype(&name)>(#name)
  const auto send = QVCTX_LOOKUP(sim, WfSimClientSendEvent);
  const auto keep_written = QVCTX_LOOKUP(sim, WfSimSetKeepWritten);
  const auto reads_reached = QVCTX_LOOKUP(sim, WfSimWaitForCalls);
  const auto start = QVCTX_LOOKUP(qvctx, ServerStartSession);
  const auto on_event =
      QVCTX_LOOKUP(qvctx, ServerRegisterEventCallBackFunction);
  const auto send_bulk = QVCTX_LOOKUP(qvctx, ServerSendBulkData);
#undef QVCTX_LOOKUP
  keep_written(0);
  on_event(how == "callback" ? &StayInCallback : &Ignore);
  if (start() != 0) return 5;
  if (reads_reached(WFSIM_READ, 2, qvctx_test::kWaitMs) != 0) return 6;
  if (how == "callback") {
    send(1, nullptr, 0);
    while (!g_in_callback)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  } else if (how == "backlog") {
    for (std::uint32_t id = 0; id < 3000; ++id) send(id, nullptr, 0);
    std::thread([send_bulk] {
      const char bytes[64] = {};
      for (;;) send_bulk(bytes, sizeof(bytes));
    }).detach();
  }
  return kOwnExitCode;
}

#if defined(_WIN32)
int HoldLogLock(const char* held_file, const std::string& line) {
  HANDLE log = CreateFileA(
      qvctx_test::LogFilePath().c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  OVERLAPPED lock_at{};
  lock_at.OffsetHigh = 0x7FFFFFFF;  // where the library's writers take turns
  if (log == INVALID_HANDLE_VALUE ||
      LockFileEx(log, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lock_at) == FALSE) {
    return 3;
  }
  std::fclose(std::fopen(held_file, "wb"));
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  while (qvctx_test::ReadLogBytes().find(line) == std::string::npos) {
    if (std::chrono::steady_clock::now() > deadline) return 8;
    Sleep(1);
  }
  return 0;
}
#endif

}  // namespace

// The hosts that end with their session running leave its reader unjoined
// and its memory held on purpose: the sanitizers' reports of that would
// replace their exit code.
extern "C" const char* __tsan_default_options() {
  return "report_thread_leaks=0";
}
extern "C" const char* __asan_default_options() { return "detect_leaks=0"; }

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "end-with") {
    return EndWithSessionRunning(argv[2]);
  }
#if defined(_WIN32)
  if (argc == 4 && std::string(argv[1]) == "hold-lock") {
    return HoldLogLock(argv[2], argv[3]);
  }
#endif
  if (argc != 4) return 2;
  qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
  const auto entry = library.Function<std::int32_t (*)()>(argv[1]);
  if (entry == nullptr) return 3;
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  for (;;) {
    if (std::FILE* go = std::fopen(argv[3], "rb")) {
      std::fclose(go);
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) return 4;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  const long count = std::strtol(argv[2], nullptr, 10);
  for (long i = 0; i < count; ++i) {
    if (entry() != 0) return 5;
  }
  return 0;
}
