// The host's callbacks on the reader thread: one that throws, one that
// registers a new callback, one that blocks while other host threads register
// or close, and one that closes the session itself.
#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "reader_test_support.h"

namespace reader_test {
namespace {

// What the hooks below see and do; reset by each case.
std::atomic<bool> g_in_callback{false};
std::atomic<bool> g_release{false};
std::atomic<bool> g_returned{false};
std::atomic<bool> g_registered{false};
std::atomic<bool> g_registered_during_callback{false};
std::atomic<bool> g_closed{false};
std::atomic<std::int32_t> g_close_result{-1};
std::atomic<std::uint32_t> g_handles_during_callback{0};
std::atomic<std::uint32_t> g_buffers_during_callback{0};

class ReaderCallbackTest : public ReaderTest {
 protected:
  void SetUp() override {
    ReaderTest::SetUp();
    g_in_callback = false;
    g_release = false;
    g_returned = false;
    g_registered = false;
    g_registered_during_callback = false;
    g_closed = false;
    g_close_result = -1;
    g_handles_during_callback = 0;
    g_buffers_during_callback = 0;
  }
};

void ThrowOnFirst(const Delivery& delivery) {
  if (MessageIdOf(delivery) == 1) throw std::runtime_error("host failure");
}

TEST_F(ReaderCallbackTest, ThrowingCallbackIsCaughtAndTheNextPackageArrives) {
  Recorder::Get().SetHook(&ThrowOnFirst);
  StartRecording();
  Bytes piece = MakePackage(1, 1, 8);
  Append(piece, MakePackage(1, 2, 8));
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));
  std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(MessageIdOf(got[0]), 1u);
  EXPECT_EQ(MessageIdOf(got[1]), 2u);

  // The lock was released: a registration from another thread goes through.
  std::future<std::int32_t> registration = std::async(std::launch::async, [] {
    return ServerRegisterResultCallBackFunction(&RecordResult);
  });
  ASSERT_EQ(registration.wait_for(kWait), std::future_status::ready);
  EXPECT_EQ(registration.get(), 0);
  Send(MakePackage(2, 3, 0));
  ASSERT_TRUE(Recorder::Get().WaitFor(3));

  CloseAndCheckReleased();
  const std::vector<LogLine> lines = LogLines();
  std::vector<std::string> log;
  for (const LogLine& line : lines) log.push_back(line.message);
  const int first = IndexOf(log, ResponseLine(1, 1));
  ASSERT_NE(first, -1);
  EXPECT_EQ(lines[first + 1].level, "ERROR");
  EXPECT_EQ(lines[first + 1].message,
            "ServerDataProccesorThread:: CATCHED FATAL ERROR");
  EXPECT_EQ(lines[first + 2].message, ResponseLine(1, 2));
  EXPECT_EQ(CountOf(log, ResponseLine(1, 1)), 1);  // consumed, not retried
  EXPECT_EQ(CountOf(log, "ServerDataProccesorThread:: CATCHED FATAL ERROR"), 1);
}

void RegisterSecondOnFirst(const Delivery& delivery) {
  if (MessageIdOf(delivery) == 1) {
    ServerRegisterEventCallBackFunction(&RecordEventAsSecond);
  }
}

TEST_F(ReaderCallbackTest,
       CallbackThatRegistersHandsTheNextPackageToTheNewOne) {
  Recorder::Get().SetHook(&RegisterSecondOnFirst);
  StartRecording();
  // Both in one piece: the new callback counts from the very next dispatch.
  Bytes piece = MakePackage(1, 1, 0);
  Append(piece, MakePackage(1, 2, 0));
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));
  Send(MakePackage(1, 3, 0));
  ASSERT_TRUE(Recorder::Get().WaitFor(3));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0].tag, 1);
  EXPECT_EQ(got[1].tag, 2);
  EXPECT_EQ(got[2].tag, 2);
  const std::vector<std::string> log = LogMessages();
  const int first = IndexOf(log, ResponseLine(1, 1));
  ASSERT_NE(first, -1);
  EXPECT_EQ(log[first + 1],
            "ServerRegisterEventCallBackFunction :: Call Back is Enabled!");
  EXPECT_EQ(log[first + 2], ResponseLine(1, 2));
}

// Holds the reader in the callback until the test releases it, and notes
// whether a registration from another thread got through meanwhile.
void BlockUntilReleased(const Delivery& /*delivery*/) {
  g_in_callback = true;
  WaitForFlag(g_release);
  g_registered_during_callback = g_registered.load();
  g_returned = true;
}

TEST_F(ReaderCallbackTest, RegistrationFromAnotherThreadWaitsForTheCallback) {
  Recorder::Get().SetHook(&BlockUntilReleased);
  StartRecording();
  Send(MakePackage(1, 1, 0));
  ASSERT_TRUE(WaitForFlag(g_in_callback));
  std::thread registrar([] {
    ServerRegisterResultCallBackFunction(&RecordResult);
    g_registered = true;
  });
  // A window in which a registration that did not wait would finish; the
  // check does not depend on its length.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  g_release = true;
  registrar.join();
  EXPECT_TRUE(g_returned.load());
  EXPECT_FALSE(g_registered_during_callback.load());
}

// Holds the reader until the close has waited its 2000 polls, then looks at
// what the close has released so far.
void BlockPastTheStopWait(const Delivery& /*delivery*/) {
  g_in_callback = true;
  WaitForLogMessage(kStillBusy);
  g_handles_during_callback = WfSimOpenHandleCount();
  g_buffers_during_callback = WfSimHeldBufferCount();
  g_registered_during_callback = g_registered.load();
  g_returned = true;
}

TEST_F(ReaderCallbackTest, CloseWaitsPastItsBoundForABlockingCallback) {
  Recorder::Get().SetHook(&BlockPastTheStopWait);
  StartRecording();
  Send(MakePackage(1, 1, 0));
  ASSERT_TRUE(WaitForFlag(g_in_callback));

  std::atomic<bool> close_saw_return{false};
  std::thread closer([&] {
    ServerCloseSession();
    close_saw_return = g_returned.load();
  });
  // A host thread that registers during the close waits for the callback
  // like at any other time.
  ASSERT_TRUE(WaitForLogMessage(kWaiting));
  std::thread registrar([] {
    ServerRegisterResultCallBackFunction(&RecordResult);
    g_registered = true;
  });
  closer.join();
  registrar.join();

  EXPECT_TRUE(close_saw_return.load());
  EXPECT_EQ(g_handles_during_callback.load(), 1u);  // channel still open
  EXPECT_EQ(g_buffers_during_callback.load(), 2u);
  EXPECT_FALSE(g_registered_during_callback.load());
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);

  const std::vector<std::string> log = LogMessages();
  const int waiting = IndexOf(log, kWaiting);
  const int busy = IndexOf(log, kStillBusy, waiting);
  const int terminated = IndexOf(log, kTerminated, busy);
  const int not_signaled = IndexOf(log, kNotSignaled, terminated);
  const int ready = IndexOf(log, kReadyToClose, not_signaled);
  const int destroyed = IndexOf(log, kDestroyed, ready);
  const int close = IndexOf(log, kCloseLine, destroyed);
  EXPECT_NE(waiting, -1);
  EXPECT_NE(busy, -1);
  EXPECT_NE(terminated, -1);
  // (The registrar's own line may fall anywhere after the callback.)
  EXPECT_NE(not_signaled, -1);
  EXPECT_NE(ready, -1);
  EXPECT_NE(destroyed, -1);
  EXPECT_NE(close, -1);
  EXPECT_EQ(CountOf(log, kStillBusy), 1);
}

void CloseOnFirst(const Delivery& delivery) {
  if (MessageIdOf(delivery) != 1) return;
  g_close_result = ServerCloseSession();
  g_handles_during_callback = WfSimOpenHandleCount();
  g_closed = true;
}

TEST_F(ReaderCallbackTest, CallbackThatClosesTheSessionEndsTheReader) {
  const int threads = qvctx_test::ThreadCount();
  Recorder::Get().SetHook(&CloseOnFirst);
  StartRecording();
  // The second package is in the same piece: the stop that the close
  // requested ends the reader before it.
  Bytes piece = MakePackage(1, 1, 0);
  Append(piece, MakePackage(1, 2, 0));
  Send(piece);
  ASSERT_TRUE(WaitForFlag(g_closed));
  ASSERT_TRUE(
      WaitForCondition([&] { return qvctx_test::ThreadCount() <= threads; }));

  EXPECT_EQ(g_close_result.load(), 0);
  EXPECT_EQ(g_handles_during_callback.load(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  EXPECT_EQ(Recorder::Get().count(), 1u);
  std::vector<std::string> log = LogMessages();
  const int waiting = IndexOf(log, kWaiting);
  ASSERT_NE(waiting, -1);
  const std::vector<std::string> teardown(log.begin() + waiting,
                                          log.begin() + waiting + 7);
  EXPECT_EQ(teardown, (std::vector<std::string>{
                          kWaiting, kNotSignaled, kReadyToClose, kEventDisabled,
                          kResultDisabled, kDestroyed, kCloseLine}));
  EXPECT_EQ(CountOf(log, kStillBusy), 0);
  // The reader's lines after its session's close are dropped, not written by
  // a writer of their own, which would stay open.
  EXPECT_EQ(log.back(), "===============Finish Loging================");
  EXPECT_EQ(CountOf(log, kTerminated), 0);
  EXPECT_FALSE(qvctx_test::LogFileIsOpen());

  // A later session starts afresh and delivers.
  Recorder::Get().SetHook(nullptr);
  StartRecording();
  Send(MakePackage(1, 3, 4));
  ASSERT_TRUE(Recorder::Get().WaitFor(2));
  EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[1]), 3u);
  CloseAndCheckReleased();
  log = LogMessages();
  EXPECT_EQ(CountOf(log, ResponseLine(1, 2)), 0);
}

TEST_F(ReaderCallbackTest, ReadersThatClosedTheirSessionAreLetGo) {
  const int threads = qvctx_test::ThreadCount();
  const int held = qvctx_test::HeldThreadResources();
  Recorder::Get().SetHook(&CloseOnFirst);
  // Each reader that closed its own session is let go: repeated, they leave
  // nothing of their threads held.
  for (int round = 0; round < 16; ++round) {
    g_closed = false;
    StartRecording();
    Send(MakePackage(1, 1, 0));
    ASSERT_TRUE(WaitForFlag(g_closed));
    ASSERT_TRUE(
        WaitForCondition([&] { return qvctx_test::ThreadCount() <= threads; }));
  }
  EXPECT_LT(qvctx_test::HeldThreadResources() - held, 8);
}

}  // namespace
}  // namespace reader_test
