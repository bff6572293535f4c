// Start and close from several host threads while a callback runs: every
// close returns, nothing the reader uses goes before its end, the platform's
// handles and buffers all come back, and a new session delivers.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "reader_test_support.h"

namespace reader_test {
namespace {

class LifecycleConcurrencyTest : public ReaderTest {};

constexpr char kReleaseLine[] =
    "ServerCloseSession:: Free the gloabal memory "
    "<myModuleData.GlobalReadDataTmpPtr! ";

// What the callback does once a host close waits for it.
enum class InCallback { kNothing, kClose, kStart };

std::atomic<bool> g_in_callback{false};
std::atomic<InCallback> g_then{InCallback::kNothing};
std::atomic<int> g_callback_result{-1};
std::atomic<bool> g_callback_done{false};

void BusyThen(const Delivery& delivery) {
  if (MessageIdOf(delivery) != 1) return;
  g_in_callback = true;
  // A close under way first, however late the host's threads run; then a
  // window in which a start that did not wait for that close would run.
  WaitForLogMessage(kWaiting);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  // Its own call meets a host thread's close under way.
  if (g_then != InCallback::kNothing) WaitForLogMessage(kWaiting);
  if (g_then == InCallback::kClose) g_callback_result = ServerCloseSession();
  if (g_then == InCallback::kStart) g_callback_result = ServerStartSession();
  g_callback_done = true;
}

struct ConcurrentCloseCase {
  const char* name;
  int host_closers;
  InCallback then;
  int callback_result;  // -1: the callback calls nothing
};

TEST_F(LifecycleConcurrencyTest, HostThreadsCloseWhileACallbackRuns) {
  const ConcurrentCloseCase cases[] = {
      {"two closers", 2, InCallback::kNothing, -1},
      {"three closers", 3, InCallback::kNothing, -1},
      {"two closers, the callback closes too", 2, InCallback::kClose, 0},
      {"one closer, the callback starts", 1, InCallback::kStart, 1},
  };
  for (const ConcurrentCloseCase& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    g_in_callback = false;
    g_callback_done = false;
    g_callback_result = -1;
    g_then = c.then;
    Recorder::Get().SetHook(&BusyThen);
    StartRecording();
    Send(MakePackage(1, 1, 0));
    ASSERT_TRUE(WaitForFlag(g_in_callback));

    std::vector<std::thread> closers;
    std::atomic<int> failed_closes{0};
    for (int i = 0; i < c.host_closers; ++i) {
      closers.emplace_back([&failed_closes] {
        if (ServerCloseSession() != 0) ++failed_closes;
      });
    }
    for (std::thread& closer : closers) closer.join();
    EXPECT_TRUE(g_callback_done.load());
    EXPECT_EQ(g_callback_result.load(), c.callback_result);
    EXPECT_EQ(failed_closes.load(), 0);
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);

    // Each close wrote its lines; the one that released the read buffer did
    // so after the reader's end.
    const std::vector<std::string> log = LogMessages();
    EXPECT_EQ(CountOf(log, kCloseLine), c.host_closers);
    EXPECT_EQ(CountOf(log,
                      "ServerStartSession:: the session is being closed "
                      "- nothing started"),
              c.then == InCallback::kStart ? 1 : 0);
    EXPECT_EQ(CountOf(log, kReleaseLine), 1);
    const int terminated = IndexOf(log, kTerminated);
    ASSERT_NE(terminated, -1);
    EXPECT_LT(terminated, IndexOf(log, kReleaseLine));

    // A new session delivers.
    Recorder::Get().SetHook(nullptr);
    StartRecording();
    Send(MakePackage(2, 2, 8));
    ASSERT_TRUE(Recorder::Get().WaitFor(2));
    EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[1]), 2u);
    CloseAndCheckReleased();
  }
}

TEST_F(LifecycleConcurrencyTest, StartDuringACloseWaitsForIt) {
  g_in_callback = false;
  g_then = InCallback::kNothing;
  Recorder::Get().SetHook(&BusyThen);
  StartRecording();
  Send(MakePackage(1, 1, 0));
  ASSERT_TRUE(WaitForFlag(g_in_callback));
  std::thread closer([] { ServerCloseSession(); });
  ASSERT_TRUE(WaitForLogMessage(kWaiting));
  // The start runs once the close is done, so it starts a fresh reader.
  EXPECT_EQ(ServerStartSession(), 0);
  closer.join();
  const std::vector<std::string> log = LogMessages();
  EXPECT_LT(IndexOf(log, kReleaseLine),
            IndexOf(log, "CPackageThread:: THREAD STARTED SUCCESSFULLY!",
                    IndexOf(log, kWaiting)));
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  CloseAndCheckReleased();
}

// A callback closes its session and then waits for a lock of the host's; the
// host, holding that lock, starts or closes. Its call does not wait for that
// callback: it returns while the callback is still blocked (the lock is held
// until after it returned), then the callback finishes and the next session
// delivers.
std::mutex g_host_lock;

void CloseThenTakeTheHostLock(const Delivery& delivery) {
  if (MessageIdOf(delivery) != 1) return;
  g_callback_result = ServerCloseSession();
  g_in_callback = true;
  { const std::lock_guard<std::mutex> hold(g_host_lock); }
  g_callback_done = true;
}

TEST_F(LifecycleConcurrencyTest, HostCallDoesNotWaitForASelfClosedCallback) {
  const struct {
    const char* name;
    std::int32_t (*call)();
    int result;
  } cases[] = {{"start", &ServerStartSession, 0},
               {"close", &ServerCloseSession, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    g_in_callback = false;
    g_callback_done = false;
    Recorder::Get().SetHook(&CloseThenTakeTheHostLock);
    StartRecording();
    std::unique_lock<std::mutex> held(g_host_lock);
    Send(MakePackage(1, 1, 0));
    ASSERT_TRUE(WaitForFlag(g_in_callback));
    std::atomic<bool> returned{false};
    std::atomic<int> result{-1};
    std::thread host([&] {
      result = c.call();
      returned = true;
    });
    EXPECT_TRUE(WaitForFlag(returned));
    EXPECT_FALSE(g_callback_done.load());
    held.unlock();
    host.join();
    EXPECT_EQ(result.load(), c.result);
    EXPECT_EQ(g_callback_result.load(), 0);
    ASSERT_TRUE(WaitForFlag(g_callback_done));

    Recorder::Get().SetHook(nullptr);
    ASSERT_EQ(ServerRegisterEventCallBackFunction(&RecordEvent), 0);
    if (c.call != &ServerStartSession) {
      ASSERT_EQ(ServerStartSession(), 0);
    }
    Send(MakePackage(1, 2, 8));
    ASSERT_TRUE(Recorder::Get().WaitFor(2));
    EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[1]), 2u);
    CloseAndCheckReleased();
  }
}

// The stress: one thread starts and closes sessions while others send,
// register and clear callbacks and fetch the session log, and the client
// sends events. Bounded by its count of cycles; QVCTX_STRESS_SECONDS=N runs
// it for N seconds instead (a soak).
std::atomic<std::uint64_t> g_checked{0};
std::atomic<std::uint64_t> g_damaged{0};

void CheckIntact(const std::uint8_t* package, std::uint32_t length) {
  const std::uint32_t id = LoadLe32(package + 4);
  const Bytes expected = MakePackage(1, id, length - kPackageHeadSize);
  const bool intact = length >= kPackageHeadSize &&
                      LoadLe32(package + 8) == length &&
                      std::equal(expected.begin(), expected.end(), package);
  (intact ? g_checked : g_damaged).fetch_add(1);
}

TEST_F(LifecycleConcurrencyTest, StressStartsClosesSendsAndRegistrations) {
  const char* soak = std::getenv("QVCTX_STRESS_SECONDS");
  const auto until = Clock::now() + std::chrono::seconds(
                                        soak != nullptr ? std::atoi(soak) : 0);
  constexpr int kCycles = 25;
  WfSimSetKeepWritten(0);
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  const Bytes call = MakePackage(0, 0, 500);
  const Bytes bulk(3000, 0x42);
  for (int sender = 0; sender < 2; ++sender) {
    threads.emplace_back([&] {
      while (!done) {
        ServerRegisterFarFunction(call.data(),
                                  static_cast<std::int32_t>(call.size()));
        ServerSendBulkData(bulk.data(),
                           static_cast<std::uint32_t>(bulk.size()));
      }
    });
  }
  threads.emplace_back([&] {
    while (!done) {
      ServerRegisterResultCallBackFunction(&CheckIntact);
      ServerRegisterResultCallBackFunction(nullptr);
      ServerSessionLog();
      ServerSessionFreeLog();
      std::this_thread::yield();
    }
  });
  threads.emplace_back([&] {
    for (std::uint32_t id = 1; !done; ++id) {
      const Bytes event = MakePackage(1, id, id % 700);
      WfSimClientSend(event.data(), static_cast<std::uint32_t>(event.size()));
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
  });
  for (int cycle = 0; cycle < kCycles || Clock::now() < until; ++cycle) {
    ServerRegisterEventCallBackFunction(&CheckIntact);
    ServerStartSession();
    std::this_thread::sleep_for(std::chrono::milliseconds(cycle % 5));
    ServerCloseSession();
  }
  done = true;
  for (std::thread& thread : threads) thread.join();
  ServerCloseSession();
  EXPECT_EQ(g_damaged.load(), 0u);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  // A new session still delivers.
  WfSimReset();
  StartRecording();
  Send(MakePackage(1, 77, 9));
  ASSERT_TRUE(Recorder::Get().WaitFor(1));
  EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[0]), 77u);
  std::printf("stress: %llu packages delivered intact\n",
              static_cast<unsigned long long>(g_checked.load()));
}

}  // namespace
}  // namespace reader_test
