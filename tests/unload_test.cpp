// A host that unloads the library while its session runs: the reader goes
// on, the process lives, and loading the library again gives the same
// instance, whose close stops the reader and lets the library go. And a host
// whose callback closed the session: its last unload unloads once that
// reader has ended, even when the reader was still in the callback.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "protocol/wire_format.h"
#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace {

using Int32Fn = std::int32_t (*)();

// Still mapped in the process, whoever holds it.
bool LibraryIsMapped() {
#if defined(_WIN32)
  return GetModuleHandleA("qvctx.dll") != nullptr;
#else
  void* handle =
      dlopen(qvctx_test::LibraryPath("qvctx").c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

std::int32_t Call(const qvctx_test::LoadedLibrary& library, const char* name) {
  const auto function = library.Function<Int32Fn>(name);
  return function != nullptr ? function() : -1;
}

// Reads made by the reader over `ms` milliseconds.
std::uint64_t ReadsOver(int ms) {
  const std::uint64_t before = WfSimCallCount(WFSIM_READ);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return WfSimCallCount(WFSIM_READ) - before;
}

// True once `done` holds; false when the tests' time limit passed first.
template <typename Condition>
bool WaitUntil(Condition done) {
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

void WriteConfig(int port, const char* common = "") {
  std::ofstream(qvctx_test::DriveCPath("temp\\logs\\config.ini"))
      << "[server]\nport=" << port << "\n[common]\n"
      << common;
}

// How many lines of the log file carry `message`.
int CountOf(const std::vector<std::string>& lines, const std::string& message) {
  int count = 0;
  for (const std::string& line : lines) {
    count += qvctx_test::MessageOf(line) == message ? 1 : 0;
  }
  return count;
}

// The event callback: closes the session through the library's own export,
// then, when told to, stays in the callback until released.
std::atomic<Int32Fn> g_close{nullptr};
std::atomic<bool> g_hold_in_callback{false};
std::atomic<bool> g_closed{false};
std::atomic<bool> g_returning{false};

void CloseFromCallback(const std::uint8_t* /*package*/,
                       std::uint32_t /*length*/) {
  g_close.load()();
  g_closed = true;
  WaitUntil([] { return !g_hold_in_callback.load(); });
  g_returning = true;
}

std::atomic<int> g_events{0};
void CountEvent(const std::uint8_t* /*package*/, std::uint32_t /*length*/) {
  ++g_events;
}

class UnloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WfSimReset();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
};

TEST_F(UnloadTest, UnloadWithoutACloseLeavesTheSessionRunningUntilItsClose) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    ASSERT_EQ(Call(library, "ServerStartSession"), 0);
  }
  // The host has let go; the reader runs on in the library, still mapped.
  EXPECT_EQ(WfSimWaitForCalls(WFSIM_READ, WfSimCallCount(WFSIM_READ) + 1,
                              qvctx_test::kWaitMs),
            0);
  EXPECT_TRUE(LibraryIsMapped());
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    // The same instance: its start's exit code, not a fresh load's 1.
    EXPECT_EQ(Call(library, "ServerCloseSession"), 0);
    EXPECT_EQ(ReadsOver(50), 0u);
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  }
  EXPECT_FALSE(LibraryIsMapped());
}

TEST_F(UnloadTest, LastUnloadAfterACallbackClosedTheSessionUnloads) {
  const struct {
    const char* name;
    bool unload_in_callback;
  } cases[] = {{"callback returned", false}, {"still in the callback", true}};
  const std::string closing = "===============Finish Loging================";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    // Not appended to: a writer opened after the close would empty the file.
    WriteConfig(1111, "logAppend=0\n");
    const int threads = qvctx_test::ThreadCount();
    g_closed = false;
    g_returning = false;
    g_hold_in_callback = c.unload_in_callback;
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    g_close = library.Function<Int32Fn>("ServerCloseSession");
    ASSERT_EQ(library.Function<PFN_ServerRegisterEventCallBackFunction>(
                  "ServerRegisterEventCallBackFunction")(&CloseFromCallback),
              0);
    ASSERT_EQ(Call(library, "ServerStartSession"), 0);
    std::uint8_t event[qvctx::kPackageHeadSize] = {};
    qvctx::StoreLe16(event + qvctx::kFncTypOffset, qvctx::kEventType);
    qvctx::StoreLe16(event + qvctx::kMagicOffset, qvctx::kPackageMagic);
    qvctx::StoreLe32(event + qvctx::kMessageIdOffset, 1);
    qvctx::StoreLe32(event + qvctx::kDatasizeOffset, sizeof(event));
    qvctx::StoreLe32(event + qvctx::kLength2Offset, sizeof(event));
    ASSERT_EQ(WfSimClientSend(event, sizeof(event)), 0);
    ASSERT_TRUE(WaitUntil([&c] {
      return c.unload_in_callback ? g_closed.load() : g_returning.load();
    }));
    if (!c.unload_in_callback) {
      // The reader's last lines after its close open no writer.
      ASSERT_TRUE(
          WaitUntil([&] { return qvctx_test::ThreadCount() <= threads; }));
      EXPECT_FALSE(qvctx_test::LogFileIsOpen());
    }

    library.Unload();
    if (c.unload_in_callback) {
      // The reader in the callback keeps the library mapped until it ends.
      EXPECT_TRUE(LibraryIsMapped());
      g_hold_in_callback = false;
    }
    EXPECT_TRUE(WaitUntil([] { return !LibraryIsMapped(); }));
    // The session's own writer, from its banner and start to the close's
    // closing line, is all there is.
    std::vector<std::string> lines = qvctx_test::ReadLogLines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(qvctx_test::MessageOf(lines.back()), closing);
    EXPECT_EQ(CountOf(lines, "uiPort=1111"), 1);
    EXPECT_EQ(CountOf(lines, "ServerStartSession:: Entering function"), 1);
    EXPECT_EQ(CountOf(lines, closing), 1);

#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not see the loader unmap the library, so any new
    // load at the same address looks to it like a race with the last writes
    // of the reader that unloaded it: one case, and no load after it.
    break;
#endif
    // A new load reads the configuration again.
    WriteConfig(2222);
    qvctx_test::RemoveLogFile();
    qvctx_test::LoadedLibrary again(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(Call(again, "ServerSessionInfo"), 0);
    again.Unload();
    lines = qvctx_test::ReadLogLines();
    EXPECT_EQ(CountOf(lines, "uiPort=2222"), 1);
  }
  std::remove(qvctx_test::DriveCPath("temp\\logs\\config.ini").c_str());
  EXPECT_FALSE(LibraryIsMapped());
}

// Load, start, one package, close (every other round from the callback),
// unload, and at once again: each load works, and at the end the library is
// unmapped with no thread of it left.
TEST_F(UnloadTest, ReloadRightAfterEachSession) {
  const int threads = qvctx_test::ThreadCount();
  g_hold_in_callback = false;
#if defined(__SANITIZE_THREAD__)
  // ThreadSanitizer does not see the loader unmap the library (see above):
  // a load at the address of one that a reader unloaded would look like a
  // race with that reader's last writes. Held here, the library stays mapped
  // and each round's load and unload only count.
  qvctx_test::LoadedLibrary pinned(qvctx_test::LibraryPath("qvctx"));
#endif
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE(round);
    const bool from_callback = round % 2 == 1;
    g_closed = false;
    g_events = 0;
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    g_close = library.Function<Int32Fn>("ServerCloseSession");
    ASSERT_EQ(library.Function<PFN_ServerRegisterEventCallBackFunction>(
                  "ServerRegisterEventCallBackFunction")(
                  from_callback ? &CloseFromCallback : &CountEvent),
              0);
    ASSERT_EQ(Call(library, "ServerStartSession"), 0);
    ASSERT_EQ(WfSimClientSendEvent(1, nullptr, 0), 0);
    ASSERT_TRUE(WaitUntil([] { return g_closed || g_events > 0; }));
    if (!from_callback) {
      EXPECT_EQ(Call(library, "ServerCloseSession"), 0);
    }
  }
#if defined(__SANITIZE_THREAD__)
  pinned.Unload();
#endif
  EXPECT_TRUE(WaitUntil([&] {
    return !LibraryIsMapped() && qvctx_test::ThreadCount() <= threads;
  }));
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
}

}  // namespace
