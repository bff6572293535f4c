// Faults injected one at a time into a full cycle through the exports
// (register, start, receive, a far-function call, bulk data, the session log,
// close): each platform operation the simulator can fail and, on POSIX, each
// allocation the library makes on the way. For each: the faulted export gives
// its failure result, nothing escapes, the close releases everything, and the
// next cycle works as if nothing had happened.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "reader_test_support.h"
#if defined(QVCTX_ALLOCATION_FAULTS)
#include "allocation_fault_test_helper.h"
#endif

namespace reader_test {
namespace {

enum class Step {
  kRegister,
  kStart,
  kReceive,
  kFarFunction,
  kBulk,
  kLog,
  kClose
};
constexpr const char* kStepNames[] = {
    "register", "start", "receive", "far call", "bulk", "session log", "close"};
constexpr std::uint32_t kBulkSize = 5000;
constexpr auto kDeliveryWait = std::chrono::seconds(2);

// What one cycle's exports returned.
struct CycleResults {
  int results[7] = {};    // per Step; the receive step: packages delivered
  bool log_text = false;  // the session log's text was had (not the
                          // out-of-memory text)
};

// Runs one full cycle; `before` and `after` wrap the step `faulted`. Unless
// an injected fault may keep the event from its callback, the receive waits
// for the delivery however long the reader takes to be scheduled.
template <typename Before, typename After>
CycleResults RunCycle(Step faulted, Before before, After after,
                      bool delivery_promised = true) {
  CycleResults cycle;
  const Bytes call = MakePackage(0, 0, 300);
  std::vector<std::uint8_t> bulk(kBulkSize);
  for (std::uint32_t i = 0; i < kBulkSize; ++i) bulk[i] = i * 13 & 0xFF;
  const auto run = [&](Step step, auto body) {
    if (step == faulted) before();
    cycle.results[static_cast<int>(step)] = body();
    if (step == faulted) after();
  };
  run(Step::kRegister, [] {
    return ServerRegisterEventCallBackFunction(&RecordEvent) |
           ServerRegisterResultCallBackFunction(&RecordResult);
  });
  run(Step::kStart, [] { return ServerStartSession(); });
  run(Step::kReceive, [&] {
    // Waits for the delivery, or until the package has been read (and a
    // dispatch had time to happen) or nothing is read any more.
    const std::size_t before_count = Recorder::Get().count();
    WfSimClientSendEvent(9, "anomaly", 7);
    if (cycle.results[static_cast<int>(Step::kStart)] != 0) return 0;
    if (delivery_promised) {
      Recorder::Get().WaitFor(before_count + 1);
      return static_cast<int>(Recorder::Get().count() - before_count);
    }
    // A reader that has read the package gets 300 ms more to deliver, one
    // that reads nothing more 1 s.
    const auto deadline = Clock::now() + kDeliveryWait;
    auto settled = deadline;
    std::uint64_t reads = WfSimCallCount(WFSIM_READ);
    while (Recorder::Get().count() == before_count && Clock::now() < settled) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      const std::uint64_t now_reads = WfSimCallCount(WFSIM_READ);
      if (settled == deadline && WfSimPendingReadBytes() == 0) {
        settled = Clock::now() + std::chrono::milliseconds(300);
      } else if (settled == deadline && now_reads == reads) {
        settled = Clock::now() + std::chrono::seconds(1);
      }
      reads = now_reads;
    }
    return static_cast<int>(Recorder::Get().count() - before_count);
  });
  run(Step::kFarFunction, [&] {
    return ServerRegisterFarFunction(call.data(),
                                     static_cast<std::int32_t>(call.size()));
  });
  run(Step::kBulk, [&] { return ServerSendBulkData(bulk.data(), kBulkSize); });
  run(Step::kLog, [&] {
    const char* text = ServerSessionLog();
    cycle.log_text =
        text != nullptr && std::strstr(text, "out of memory") == nullptr;
    ServerSessionFreeLog();
    return 0;
  });
  run(Step::kClose, [] { return ServerCloseSession(); });
  return cycle;
}

class AnomalyTest : public ReaderTest {
 protected:
  // A cycle without faults after a faulted one: everything works, the call and
  // the bulk data arrive intact, nothing is held afterwards.
  static void ExpectACleanCycle() {
    WfSimReset();
    Recorder::Get().Reset();
    const CycleResults clean = RunCycle(
        Step::kRegister, [] {}, [] {});
    EXPECT_EQ(clean.results[static_cast<int>(Step::kRegister)], 0);
    EXPECT_EQ(clean.results[static_cast<int>(Step::kStart)], 0);
    EXPECT_EQ(clean.results[static_cast<int>(Step::kReceive)], 1);
    EXPECT_EQ(clean.results[static_cast<int>(Step::kFarFunction)], 0);
    EXPECT_EQ(clean.results[static_cast<int>(Step::kBulk)], 0);
    EXPECT_TRUE(clean.log_text);
    EXPECT_EQ(clean.results[static_cast<int>(Step::kClose)], 0);
    EXPECT_EQ(WfSimWrittenTotal(), 334u + kBulkSize);
    std::vector<std::uint8_t> written(334 + kBulkSize);
    WfSimTakeWritten(written.data(),
                     static_cast<std::uint32_t>(written.size()));
    const Bytes call = MakePackage(0, 0, 300);
    EXPECT_TRUE(std::equal(call.begin() + kPackageHeadSize, call.end(),
                           written.begin() + kPackageHeadSize));
    for (std::uint32_t i = 0; i < kBulkSize; ++i) {
      if (written[334 + i] != (i * 13 & 0xFF)) {
        ADD_FAILURE() << "bulk byte " << i;
        break;
      }
    }
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  }

  // After the faulted cycle: released (a failed channel close is retried by
  // the next close), then a clean cycle.
  static void ExpectReleasedThenClean(bool channel_close_failed) {
    if (channel_close_failed) {
      EXPECT_EQ(WfSimOpenHandleCount(), 1u);
      ServerCloseSession();
    }
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
    ExpectACleanCycle();
  }
};

std::string Describe(const CycleResults& cycle) {
  std::string text;
  for (int i = 0; i < 7; ++i) {
    text += std::string(i == 0 ? "" : " ") + kStepNames[i] + "=" +
            std::to_string(cycle.results[i]);
  }
  return text + (cycle.log_text ? "" : " (log text unavailable)");
}

struct PlatformFault {
  const char* name;
  int operation;
  std::uint32_t count;  // calls that fail, from the first of the cycle
  Step step;            // the step whose export reports it
  int result;           // what that export gives (receive: packages delivered)
};

TEST_F(AnomalyTest, EachPlatformOperationFailsInTurn) {
  const PlatformFault faults[] = {
      {"session query", WFSIM_QUERY_SESSION, 1, Step::kStart, 1},
      {"channel open", WFSIM_OPEN, 1, Step::kStart, 1},
      {"channel query", WFSIM_QUERY, 1, Step::kStart, 1},
      // Failing reads keep the idle pace; the package arrives once they pass.
      {"read, 200 times", WFSIM_READ, 200, Step::kReceive, 1},
      {"write", WFSIM_WRITE, 1, Step::kFarFunction, 1},
      {"write, from the second", WFSIM_WRITE, WFSIM_FOREVER, Step::kBulk, 1},
      {"channel close", WFSIM_CLOSE, 1, Step::kClose, 0},
  };
  for (const PlatformFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    WfSimReset();
    Recorder::Get().Reset();
    const std::uint32_t skip =
        fault.operation == WFSIM_WRITE && fault.step == Step::kBulk ? 1 : 0;
    ASSERT_EQ(WfSimFailCalls(fault.operation, skip, fault.count, 31), 0);
    const CycleResults cycle = RunCycle(
        Step::kRegister, [] {}, [] {});
    for (int operation = WFSIM_QUERY_SESSION; operation <= WFSIM_CLOSE;
         ++operation) {
      WfSimFailCalls(operation, 0, 0, 0);
    }
    std::printf("fault: %s -> %s\n", fault.name, Describe(cycle).c_str());
    EXPECT_EQ(cycle.results[static_cast<int>(fault.step)], fault.result);
    EXPECT_EQ(cycle.results[static_cast<int>(Step::kClose)], 0);
    ExpectReleasedThenClean(fault.operation == WFSIM_CLOSE);
  }
  // Freeing the platform's buffers cannot be made to fail.
  EXPECT_EQ(WfSimFailCalls(WFSIM_FREE_MEMORY, 0, 1, 31), 1);
}

#if defined(QVCTX_ALLOCATION_FAULTS)
// What the export of each step gives when one of its allocations fails.
int FailureResultOf(Step step) {
  switch (step) {
    case Step::kReceive:  // the reader's start-up: nothing is delivered
    case Step::kLog:
    case Step::kClose:  // the exit code of the start, as always
      return 0;
    default:
      return 1;
  }
}

TEST_F(AnomalyTest, EachAllocationFailsInTurn) {
  constexpr int kMostPerStep = 200;
  int injected = 0;
  for (int s = 0; s < 7; ++s) {
    const Step step = static_cast<Step>(s);
    // The reader's allocations are made on its own thread, from the start on.
    const Step armed_at = step == Step::kReceive ? Step::kStart : step;
    const anomaly::FaultThreads threads =
        step == Step::kReceive ? anomaly::FaultThreads::kOtherThreads
                               : anomaly::FaultThreads::kThisThread;
    for (int skip = 0; skip < kMostPerStep; ++skip) {
      SCOPED_TRACE(std::string(kStepNames[s]) + ", allocation " +
                   std::to_string(skip));
      WfSimReset();
      Recorder::Get().Reset();
      bool reached = false;
      const CycleResults cycle = RunCycle(
          armed_at, [&] { anomaly::ArmAllocationFault(threads, skip); },
          [&] {
            if (step != Step::kReceive) {
              reached = anomaly::DisarmAllocationFault();
            }
          },
          false);
      if (step == Step::kReceive) reached = anomaly::DisarmAllocationFault();
      if (!reached) {
        ExpectReleasedThenClean(false);
        break;
      }
      ++injected;
      std::printf("fault: %s allocation %d -> %s\n", kStepNames[s], skip,
                  Describe(cycle).c_str());
      if (step == Step::kReceive) {
        // The reader failed to start up and ended, or the failure hit a
        // later allocation after the package had arrived.
        EXPECT_LE(cycle.results[s], 1);
      } else if (step == Step::kLog) {
        EXPECT_FALSE(cycle.log_text);
      } else {
        EXPECT_EQ(cycle.results[s], FailureResultOf(step));
      }
      ExpectReleasedThenClean(false);
      if (HasFailure()) return;
    }
  }
  EXPECT_GT(injected, 10);
}
#endif

}  // namespace
}  // namespace reader_test
