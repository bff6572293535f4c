// A close whose first line finds no log writer and cannot create one (no
// memory): it still stops the reader and releases everything, reports the
// failure after the last step by its own writer, before that writer's closing
// line (a file not appended to keeps the close's lines, and no writer is
// opened after it), and the next start works.
#include <gtest/gtest.h>

#include <chrono>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "allocation_fault_test_helper.h"
#include "base/step_failures.h"
#include "diagnostics/log_file.h"
#include "module/configuration.h"
#include "module/module.h"
#include "module/module_data.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace qvctx {
namespace {

std::uint64_t ReadsOver(int ms) {
  const std::uint64_t before = WfSimCallCount(WFSIM_READ);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return WfSimCallCount(WFSIM_READ) - before;
}

TEST(SessionCloseFaultTest, FailedLogWriterCreationStillStopsAndReleases) {
  WfSimReset();
  qvctx_test::CreateLogFolder();
  qvctx_test::RemoveLogFile();
  myModuleData.logAppend = 0;
  InstallLogSettings();
  ASSERT_EQ(TheModule().StartSession(), 0);
  ASSERT_EQ(WfSimWaitForCalls(WFSIM_READ, 10, qvctx_test::kWaitMs), 0);
  DestroyLogFile();  // as an unload would; the idle reader logs nothing

  anomaly::ArmAllocationFault(anomaly::FaultThreads::kThisThread, 0);
  EXPECT_EQ(TheModule().CloseSession(), 0);
  EXPECT_TRUE(anomaly::DisarmAllocationFault());
  EXPECT_EQ(ReadsOver(50), 0u);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  // The lost line is the teardown's first; the rest were written.
  std::string log = qvctx_test::ReadLogBytes();
  EXPECT_EQ(log.find("CTcpClient::~CTcpClient:: waiting for thread to finish"),
            std::string::npos);
  EXPECT_NE(log.find("CPackageThread:: Thread is detroyed "),
            std::string::npos);
  const std::vector<std::string> lines = qvctx_test::ReadLogLines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(qvctx_test::MessageOf(lines[lines.size() - 2]),
            "ServerCloseSession:: std::bad_alloc");
  EXPECT_EQ(qvctx_test::MessageOf(lines.back()),
            "===============Finish Loging================");
  myModuleData.logAppend = 1;
  SetLogSettingsSource(nullptr);

  EXPECT_EQ(TheModule().StartSession(), 0);
  EXPECT_EQ(WfSimWaitForCalls(WFSIM_READ, WfSimCallCount(WFSIM_READ) + 1,
                              qvctx_test::kWaitMs),
            0);
  EXPECT_EQ(TheModule().CloseSession(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
}

// Every step of a teardown runs; what the close reports is the first failure,
// the one that explains the rest.
TEST(SessionCloseFaultTest, EveryStepRunsAndTheFirstFailureIsReported) {
  StepFailures failures;
  int ran = 0;
  failures.Run([&] {
    ++ran;
    throw std::runtime_error("first");
  });
  failures.Run([&] { ++ran; });
  failures.Run([&] {
    ++ran;
    throw std::logic_error("second");
  });
  EXPECT_EQ(ran, 3);
  try {
    failures.Rethrow();
    ADD_FAILURE() << "no failure reported";
  } catch (const std::exception& error) {
    EXPECT_STREQ(error.what(), "first");
  }
  StepFailures none;
  none.Run([] {});
  EXPECT_NO_THROW(none.Rethrow());
}

}  // namespace
}  // namespace qvctx
