// The reader's life: its start and end lines, an idle reader, a second start
// without a close (also at once after the first), the exit code seen between
// buffered packages, and the teardown of an instance whose reader never ran.
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "reader_test_support.h"

namespace reader_test {
namespace {

class ReaderLifecycleTest : public ReaderTest {};

constexpr char kBeforeLoop[] =
    "ServerDataProccesorThread:: before while loop...";
constexpr char kExitcodeStop[] =
    "ServerDataProccesorThread:: ***THREAD STOPPED - System.exitcode IS SET";
constexpr char kInit[] = "CPackageThread:: Init the ServerDataProccesorThread";
constexpr char kAlreadyCreated[] =
    "CPackageThread:: THREAD HANDLE IS ALREADY CREATED!";

TEST_F(ReaderLifecycleTest, StartAndCloseWriteTheirLinesInOrder) {
  StartRecording();
  Send(MakePackage(1, 7, 0));
  ASSERT_TRUE(Recorder::Get().WaitFor(1));
  const std::uint32_t reader = Recorder::Get().deliveries()[0].thread_id;
  EXPECT_NE(reader, ThisThreadId());
  CloseAndCheckReleased();

  const std::vector<LogLine> lines = LogLines();
  std::vector<std::string> log;
  for (const LogLine& line : lines) log.push_back(line.message);
  const int init = IndexOf(log, kInit);
  ASSERT_NE(init, -1);
  EXPECT_LT(init, IndexOf(log,
                          "CPackageThread:: THREAD HANDLE IS CREATED "
                          "SUCCESSFULLY!"));
  EXPECT_LT(IndexOf(log,
                    "CPackageThread:: THREAD HANDLE IS CREATED "
                    "SUCCESSFULLY!"),
            IndexOf(log, "CPackageThread:: THREAD STARTED SUCCESSFULLY!"));
  const int constructor = IndexOf(
      log, "ServerDataProccesorThread:: before CShiftBuffer constructor...");
  ASSERT_NE(constructor, -1);
  const int about =
      IndexOf(log, "ServerDataProccesorThread:: about to start the Thread...",
              constructor);
  EXPECT_NE(about, -1);
  EXPECT_NE(IndexOf(log, kBeforeLoop, about), -1);

  // The close: everything from the stop request to the close's own line,
  // with the reader's end lines in between and the empty line that its
  // exiting message's own line feed makes.
  const int waiting = IndexOf(log, kWaiting);
  ASSERT_NE(waiting, -1);
  const std::vector<std::string> expected = {
      kWaiting,     kTerminated,   ExitingLine(reader), "",
      kNotSignaled, kReadyToClose, kEventDisabled,      kResultDisabled,
      kDestroyed,   kCloseLine};
  ASSERT_GE(log.size(), waiting + expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin() + waiting,
                                     log.begin() + waiting + expected.size()),
            expected);
  for (std::size_t i = 0; i < expected.size(); ++i) {
    if (!expected[i].empty()) {
      EXPECT_EQ(lines[waiting + i].level, "Info") << i;
    }
  }
  EXPECT_EQ(CountOf(log, kStillBusy), 0);
}

TEST_F(ReaderLifecycleTest, IdleReaderLogsNothing) {
  StartRecording();
  ASSERT_TRUE(WaitForLogMessage(kBeforeLoop));
  const std::vector<std::string> before = LogMessages();
  const std::uint64_t reads = WfSimCallCount(WFSIM_READ);
  // Two hundred empty polls later the log is unchanged.
  ASSERT_EQ(WfSimWaitForCalls(WFSIM_READ, reads + 200, kWaitMs), 0);
  EXPECT_EQ(LogMessages(), before);
  EXPECT_EQ(Recorder::Get().count(), 0u);
}

TEST_F(ReaderLifecycleTest, EmptyAndFailingReadsKeepTheOneMillisecondPace) {
  const struct {
    const char* name;
    bool fail_reads;
  } cases[] = {{"idle channel", false}, {"every read fails", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    StartRecording();
    ASSERT_TRUE(WaitForLogMessage(kBeforeLoop));
    if (c.fail_reads) {
      ASSERT_EQ(WfSimFailCalls(WFSIM_READ, 0, WFSIM_FOREVER, 31), 0);
    }
    // A 1 ms sleep after each empty poll allows at most about 200 reads in
    // 200 ms; a reader that spins makes thousands.
    const std::uint64_t before = WfSimCallCount(WFSIM_READ);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const std::uint64_t reads = WfSimCallCount(WFSIM_READ) - before;
    EXPECT_GT(reads, 0u);
    EXPECT_LE(reads, 300u);
    // Once reads pass again, a package queued meanwhile arrives.
    Send(MakePackage(1, 5, 3));
    WfSimFailCalls(WFSIM_READ, 0, 0, 0);
    ASSERT_TRUE(Recorder::Get().WaitFor(1));
    EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[0]), 5u);
    TearDown();
  }
}

TEST_F(ReaderLifecycleTest, SecondStartWithoutCloseStopsTheRunningReader) {
  StartRecording();
  Send(MakePackage(1, 1, 0));
  ASSERT_TRUE(Recorder::Get().WaitFor(1));
  const std::uint32_t reader = Recorder::Get().deliveries()[0].thread_id;

  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(ServerGetLastError(), 1);
  ASSERT_TRUE(WaitForLogMessage(ExitingLine(reader)));
  // The second start opened a channel and took two buffers of its own.
  EXPECT_EQ(WfSimOpenHandleCount(), 2u);
  EXPECT_EQ(WfSimHeldBufferCount(), 4u);

  // The reader has ended: nothing more is read.
  const std::uint64_t reads = WfSimCallCount(WFSIM_READ);
  Send(MakePackage(1, 2, 0));
  EXPECT_EQ(WfSimCallCount(WFSIM_READ), reads);
  EXPECT_EQ(WfSimPendingReadBytes(), 34u);

  // Every further start is refused until the close.
  EXPECT_EQ(ServerStartSession(), 1);

  std::vector<LogLine> lines = LogLines();
  std::vector<std::string> log;
  for (const LogLine& line : lines) log.push_back(line.message);
  const int second_init = IndexOf(log, kInit, IndexOf(log, kInit) + 1);
  ASSERT_NE(second_init, -1);
  EXPECT_EQ(lines[second_init + 1].level, "ERROR");
  EXPECT_EQ(lines[second_init + 1].message, kAlreadyCreated);
  EXPECT_NE(IndexOf(log, "ServerStartSession:: Exit function => result = 1",
                    second_init + 2),
            -1);
  // The reader's lines; the start's last line may fall between them.
  const int stopped = IndexOf(log, kExitcodeStop, second_init);
  ASSERT_NE(stopped, -1);
  EXPECT_EQ(lines[stopped].level, "ERROR");
  EXPECT_NE(
      IndexOf(log, ExitingLine(reader), IndexOf(log, kTerminated, stopped)),
      -1);

  // The close finds the reader ended: no wait, and it releases the channels
  // and buffers of all three starts.
  EXPECT_EQ(ServerCloseSession(), 1);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  log = LogMessages();
  const int waiting = IndexOf(log, kWaiting);
  ASSERT_NE(waiting, -1);
  EXPECT_EQ(log[waiting + 1], kEventDisabled);
  EXPECT_EQ(log[waiting + 2], kResultDisabled);
  EXPECT_EQ(log[waiting + 3], kDestroyed);
  EXPECT_EQ(CountOf(log, kNotSignaled), 0);
  EXPECT_EQ(CountOf(log, kReadyToClose), 0);

  // A new start works normally and reads what is still queued.
  StartRecording();
  ASSERT_TRUE(Recorder::Get().WaitFor(2));
  EXPECT_EQ(MessageIdOf(Recorder::Get().deliveries()[1]), 2u);
}

// A second start at once after the first, while the first reader may still be
// on its way in, then the close, again and again: the first reader keeps what
// it was started with (under ThreadSanitizer, no data race on the hand-over),
// and the close releases everything of both starts.
TEST_F(ReaderLifecycleTest, StartAtOnceAgainAndCloseReleaseEverything) {
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(ServerStartSession(), 0) << round;
    EXPECT_EQ(ServerStartSession(), 1) << round;
    EXPECT_EQ(ServerCloseSession(), 1) << round;
    EXPECT_EQ(WfSimOpenHandleCount(), 0u) << round;
    EXPECT_EQ(WfSimHeldBufferCount(), 0u) << round;
  }
}

// A second start made from inside a callback: its exit code 1 stops the
// reader before the next package already buffered.
void StartAgainOnFirst(const Delivery& delivery) {
  if (MessageIdOf(delivery) == 1) ServerStartSession();
}

TEST_F(ReaderLifecycleTest, ExitCodeStopsTheReaderBetweenBufferedPackages) {
  Recorder::Get().SetHook(&StartAgainOnFirst);
  StartRecording();
  Bytes piece = MakePackage(1, 1, 0);
  Append(piece, MakePackage(1, 2, 0));
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(1));
  const std::uint32_t reader = Recorder::Get().deliveries()[0].thread_id;
  ASSERT_TRUE(WaitForLogMessage(ExitingLine(reader)));
  EXPECT_EQ(Recorder::Get().count(), 1u);
  EXPECT_EQ(ServerGetLastError(), 1);
  const std::vector<std::string> log = LogMessages();
  EXPECT_EQ(CountOf(log, ResponseLine(1, 2)), 0);
  EXPECT_EQ(CountOf(log, kExitcodeStop), 1);
  CloseAndCheckReleased();
}

TEST_F(ReaderLifecycleTest, TeardownOfANeverStartedInstanceDoesNotWait) {
  ASSERT_EQ(ServerRegisterEventCallBackFunction(&RecordEvent), 0);
  ServerCloseSession();
  std::vector<std::string> log = LogMessages();
  const int enabled = IndexOf(
      log, "ServerRegisterEventCallBackFunction :: Call Back is Enabled!");
  ASSERT_NE(enabled, -1);
  const std::vector<std::string> expected = {
      kWaiting,        kEventDisabled,
      kResultDisabled, kDestroyed,
      kCloseLine,      "===============Finish Loging================"};
  ASSERT_EQ(log.size(), enabled + 1 + expected.size());
  EXPECT_EQ(std::vector<std::string>(log.begin() + enabled + 1, log.end()),
            expected);

  // Without an instance the teardown logs nothing at all.
  ServerCloseSession();
  log = LogMessages();
  EXPECT_EQ(CountOf(log, kWaiting), 1);
  EXPECT_EQ(CountOf(log, kCloseLine), 2);
}

}  // namespace
}  // namespace reader_test
