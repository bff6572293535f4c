// The reader's life: its start and end lines, an idle reader, a second start
// without a close (also at once after the first), the exit code seen between
// buffered packages, the teardown of an instance whose reader never ran, and
// the pace of reads and pauses.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
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

  // The close finds the reader out of its loop and releases the channels and
  // buffers of all three starts. The reader's very last act, marking itself
  // stopped, comes after its exiting line, so the close may still see it on
  // its way out: then it notes the stop with its two lines and goes on.
  EXPECT_EQ(ServerCloseSession(), 1);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  log = LogMessages();
  const int waiting = IndexOf(log, kWaiting);
  ASSERT_NE(waiting, -1);
  const int noted = CountOf(log, kNotSignaled);
  ASSERT_LE(noted, 1);
  EXPECT_EQ(CountOf(log, kReadyToClose), noted);
  EXPECT_EQ(CountOf(log, kStillBusy), 0);
  EXPECT_EQ(log[waiting + 1 + 2 * noted], kEventDisabled);
  EXPECT_EQ(log[waiting + 2 + 2 * noted], kResultDisabled);
  EXPECT_EQ(log[waiting + 3 + 2 * noted], kDestroyed);

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

// The reads made before each sleep of the library, as its sleep seam saw
// them.
std::mutex g_sleeps_mutex;
std::vector<std::uint64_t> g_sleeps;

void RecordSleep(std::uint32_t /*milliseconds*/) {
  const std::uint64_t reads = WfSimCallCount(WFSIM_READ);
  std::lock_guard<std::mutex> hold(g_sleeps_mutex);
  g_sleeps.push_back(reads);
}

std::vector<std::uint64_t> Sleeps() {
  std::lock_guard<std::mutex> hold(g_sleeps_mutex);
  return g_sleeps;
}

// The pace, counted through the sleep seam of the tests' build of the
// library; loaded by path, so each case reads its own configuration file.
class ReaderPaceTest : public ReaderTest {
 protected:
  using Int32Fn = std::int32_t (*)();
  using ObserverFn = void (*)(void (*)(std::uint32_t));

  void TearDown() override {
    if (library_ != nullptr) {
      library_->Function<ObserverFn>("QvctxTestingSetSleepObserver")(nullptr);
      library_->Function<Int32Fn>("ServerCloseSession")();
      library_.reset();
    }
    std::remove(ConfigPath().c_str());
    ReaderTest::TearDown();
  }

  static std::string ConfigPath() {
    return qvctx_test::DriveCPath("temp\\logs\\config.ini");
  }

  // Loads the library with `config` as its configuration file (none when
  // empty), records its sleeps and starts a session that records events.
  void Start(const std::string& config) {
    if (!config.empty()) {
      std::FILE* file = std::fopen(ConfigPath().c_str(), "wb");
      ASSERT_NE(file, nullptr);
      std::fputs(config.c_str(), file);
      std::fclose(file);
    }
    {
      std::lock_guard<std::mutex> hold(g_sleeps_mutex);
      g_sleeps.clear();
    }
    library_ = std::make_unique<qvctx_test::LoadedLibrary>(
        qvctx_test::LibraryPath("qvctx_testing"));
    ASSERT_TRUE(library_->ok());
    library_->Function<ObserverFn>("QvctxTestingSetSleepObserver")(
        &RecordSleep);
    using RegisterFn = std::int32_t (*)(PackageCallBack);
    ASSERT_EQ(library_->Function<RegisterFn>(
                  "ServerRegisterEventCallBackFunction")(&RecordEvent),
              0);
    ASSERT_EQ(library_->Function<Int32Fn>("ServerStartSession")(), 0);
  }

  std::unique_ptr<qvctx_test::LoadedLibrary> library_;
};

TEST_F(ReaderPaceTest, PausesFollowOnlyReadsThatBroughtNothing) {
  enum class Pauses { kAfterEachEmptyRead, kSome, kNone };
  const std::string wait = "[common]\nreadWaitMs=50\n";
  const struct {
    const char* name;
    std::string config;
    bool ignore_timeouts;
    bool fail_reads;
    Pauses pauses;
    std::uint32_t wait_share = 100;  // percent of the wait the platform keeps
  } cases[] = {
      {"fixed cadence", "", false, false, Pauses::kAfterEachEmptyRead},
      {"a wait in each read", wait, false, false, Pauses::kNone},
      // A read the scheduler holds up for half the wait goes without.
      {"a wait the platform ignores", wait, true, false, Pauses::kSome},
      {"a wait and failing reads", wait, false, true,
       Pauses::kAfterEachEmptyRead},
      // Under half the wait is a platform that does not wait; more is one
      // that does.
      {"a fifth of the wait kept", wait, false, false, Pauses::kSome, 20},
      {"four fifths of the wait kept", wait, false, false, Pauses::kNone, 80},
  };
  // Two packages in pieces of 7 bytes, queued before the start: the first
  // reads all bring bytes, most of them without completing a package.
  Bytes stream = MakePackage(1, 1, 30);
  Append(stream, MakePackage(1, 2, 30));
  const std::uint64_t bringing = (stream.size() + 6) / 7;
  const std::string wait_line =
      "ServerDataProccesorThread:: waits up to 50 ms in each read";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SetUp();
    WfSimSetReadPieceSize(7);
    WfSimIgnoreReadTimeouts(c.ignore_timeouts ? 1 : 0);
    WfSimSetReadWaitShare(c.wait_share);
    if (c.fail_reads) {
      ASSERT_EQ(WfSimFailCalls(WFSIM_READ, static_cast<std::uint32_t>(bringing),
                               WFSIM_FOREVER, 31),
                0);
    }
    Send(stream);
    Start(c.config);
    ASSERT_TRUE(Recorder::Get().WaitFor(2));
    if (c.pauses == Pauses::kNone) {
      ASSERT_EQ(WfSimWaitForCalls(WFSIM_READ, bringing + 3, kWaitMs), 0);
      EXPECT_TRUE(Sleeps().empty());
    } else {
      const auto deadline = Clock::now() + kWait;
      while (Sleeps().size() < 10 && Clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      const std::vector<std::uint64_t> sleeps = Sleeps();
      ASSERT_GE(sleeps.size(), 10u);
      // None while reads brought bytes.
      EXPECT_GE(sleeps[0], bringing + 1);
      if (c.pauses == Pauses::kAfterEachEmptyRead) {
        EXPECT_EQ(sleeps[0], bringing + 1);
        for (std::size_t i = 1; i < sleeps.size(); ++i) {
          EXPECT_EQ(sleeps[i], sleeps[i - 1] + 1) << i;
        }
      }
    }
    EXPECT_EQ(CountOf(LogMessages(), wait_line), c.config.empty() ? 0 : 1);
    TearDown();
  }
}

// Orders a reader that is about to mark itself stopped and a close's stop
// request: the request reads the state while the reader is held, and swaps
// only after the reader has marked itself stopped.
std::atomic<bool> g_reader_held{false};
std::atomic<bool> g_request_saw{false};
std::atomic<bool> g_reader_marked{false};
void OrderStop(std::uint32_t point) {
  if (point == 0) {
    g_reader_held = true;
    WaitForFlag(g_request_saw);
  } else if (point == 1) {
    g_reader_marked = true;
  } else if (g_reader_held) {
    g_request_saw = true;
    WaitForFlag(g_reader_marked);
  }
}

TEST_F(ReaderPaceTest, CloseThatMeetsAReaderStoppingItselfDoesNotWait) {
  Start("");
  using HookFn = void (*)(void (*)(std::uint32_t));
  const auto set_hook = library_->Function<HookFn>("QvctxTestingSetStopHook");
  set_hook(&OrderStop);
  // A start without a close tells the running reader to stop itself.
  EXPECT_EQ(library_->Function<Int32Fn>("ServerStartSession")(), 1);
  ASSERT_TRUE(WaitForFlag(g_reader_held));
  library_->Function<Int32Fn>("ServerCloseSession")();
  set_hook(nullptr);
  EXPECT_TRUE(g_request_saw);
  EXPECT_EQ(CountOf(LogMessages(), kStillBusy), 0);
}

}  // namespace
}  // namespace reader_test
