// What the tests of a session on the simulator share: the one reader of
// what the server wrote, and the one fixture
// that gives each case a fresh simulator and log file and checks at its end
// that the close gave back every handle and buffer. Header-only: a program
// that includes it links qvctx and the simulator (wfapi64).
#ifndef QVCTX_TESTS_SUPPORT_SESSION_FIXTURE_H_
#define QVCTX_TESTS_SUPPORT_SESSION_FIXTURE_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace qvctx_test {

// Everything the server wrote and nobody took yet.
inline std::vector<std::uint8_t> TakeAllWritten() {
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(WfSimWrittenAvailable()));
  const std::uint32_t taken =
      WfSimTakeWritten(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  bytes.resize(taken);
  return bytes;
}

// Each case: no session, empty callback slots, an empty session log, a
// freshly reset simulator, a log folder without a log file; the case starts
// the session itself. TearDown closes and checks that nothing of the
// platform's is still held.
class SessionFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    // Ends any reader and log writer a case left behind.
    ServerRegisterEventCallBackFunction(nullptr);
    ServerRegisterResultCallBackFunction(nullptr);
    ServerCloseSession();
    ServerSessionLog();
    ServerSessionFreeLog();
    WfSimReset();
    CreateLogFolder();
    RemoveLogFile();
  }

  void TearDown() override {
    CloseAndCheckReleased();
    WfSimReset();
  }

  // Closes the session and checks that every handle and buffer was given
  // back.
  static void CloseAndCheckReleased() {
    ServerCloseSession();
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  }
};

}  // namespace qvctx_test

#endif  // QVCTX_TESTS_SUPPORT_SESSION_FIXTURE_H_
