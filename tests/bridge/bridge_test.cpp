// The library against a client process over the simulator's loopback bridge.
// Run by with_client.sh, which starts qvctx-client with
// "--check-pattern --cut-after 2 --sessions 2" and sets QVCTX_SIM_CONNECT:
// the first connection is dropped halfway through the third answer, the
// second is served normally, and the client checks every call it receives.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <mutex>
#include <vector>

#include "common/demo_pattern.h"
#include "protocol/wire_format.h"
#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"

namespace {

using qvctx::kPackageHeadSize;
using qvctx::LoadLe32;
constexpr std::uint32_t kWaitMs = 20000;

// A call laid out by the host: message id, zero time stamps, the pattern.
std::vector<std::uint8_t> Call(std::uint32_t message_id, std::size_t size) {
  std::vector<std::uint8_t> package(size, 0);
  for (int i = 0; i < 4; ++i) {
    package[qvctx::kMessageIdOffset + i] =
        static_cast<std::uint8_t>(message_id >> (8 * i));
  }
  qvctx_tools::FillPattern(message_id, package.data(), kPackageHeadSize, size);
  return package;
}

// The answers, by message id: their size, and whether every byte held.
struct Answers {
  std::mutex mutex;
  std::condition_variable arrived;
  std::map<std::uint32_t, std::size_t> size_by_id;
  int broken = 0;  // wrong type or payload
};

Answers& TheAnswers() {
  static Answers answers;
  return answers;
}

void OnResult(const std::uint8_t* package, std::uint32_t length) {
  const std::uint32_t id = LoadLe32(package + qvctx::kMessageIdOffset);
  const bool intact = package[0] == qvctx::kResultType &&
                      LoadLe32(package + qvctx::kDatasizeOffset) == length &&
                      qvctx_tools::FirstPatternMismatch(
                          id, package, kPackageHeadSize, length) == length;
  Answers& answers = TheAnswers();
  std::lock_guard<std::mutex> hold(answers.mutex);
  if (!intact) ++answers.broken;
  answers.size_by_id[id] = length;
  answers.arrived.notify_all();
}

bool WaitForAnswers(std::size_t count) {
  Answers& answers = TheAnswers();
  std::unique_lock<std::mutex> hold(answers.mutex);
  return answers.arrived.wait_for(
      hold, std::chrono::milliseconds(kWaitMs),
      [&] { return answers.size_by_id.size() >= count; });
}

std::size_t AnswerCount() {
  Answers& answers = TheAnswers();
  std::lock_guard<std::mutex> hold(answers.mutex);
  return answers.size_by_id.size();
}

int Send(std::uint32_t id, std::size_t size) {
  const std::vector<std::uint8_t> package = Call(id, size);
  return ServerRegisterFarFunction(package.data(),
                                   static_cast<std::int32_t>(size));
}

TEST(BridgeTest, ClientLeavingMidPackageLeavesTheLibraryRunning) {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs here
  ASSERT_NE(std::getenv("QVCTX_SIM_CONNECT"), nullptr)
      << "run through with_client.sh";
  WfSimReset();
  ASSERT_EQ(ServerRegisterResultCallBackFunction(OnResult), 0);
  ASSERT_EQ(ServerStartSession(), 0);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_CONNECTED);

  // The client answers two calls, then drops the connection halfway through
  // the third answer: that half stays in the reader's buffer, incomplete.
  ASSERT_EQ(Send(1, 100), 0);
  ASSERT_EQ(Send(2, 5000), 0);
  ASSERT_EQ(Send(3, 3000), 0);
  ASSERT_TRUE(WaitForAnswers(2));
  ASSERT_EQ(WfSimWaitForBridgeState(WFSIM_BRIDGE_ENDED, kWaitMs), 0);

  // Writes to a client that has gone fail; the library goes on.
  EXPECT_EQ(Send(4, 100), 1);
  const char* const log = ServerSessionLog();
  ASSERT_NE(log, nullptr);
  ServerSessionFreeLog();
  EXPECT_EQ(ServerCloseSession(), 0);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_NONE);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(AnswerCount(), 2u) << "the cut answer was delivered";

  // The next session connects afresh and works, large packages included.
  ASSERT_EQ(ServerRegisterResultCallBackFunction(OnResult), 0);
  ASSERT_EQ(ServerStartSession(), 0);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_CONNECTED);
  const std::size_t sizes[] = {34, 2009, 2010, 70000, 1 << 20};
  std::uint32_t id = 10;
  for (std::size_t size : sizes) ASSERT_EQ(Send(id++, size), 0);
  ASSERT_TRUE(WaitForAnswers(2 + std::size(sizes)));
  EXPECT_EQ(ServerCloseSession(), 0);

  Answers& answers = TheAnswers();
  std::lock_guard<std::mutex> hold(answers.mutex);
  EXPECT_EQ(answers.broken, 0);
  for (std::size_t i = 0; i < std::size(sizes); ++i) {
    EXPECT_EQ(answers.size_by_id[10 + static_cast<std::uint32_t>(i)], sizes[i]);
  }
}

TEST(BridgeTest, NoClientListeningFailsTheStart) {
  WfSimReset();
  // Port 1 on loopback: nobody listens there.
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs here
  const char* const saved = std::getenv("QVCTX_SIM_CONNECT");
  const std::string kept = saved == nullptr ? "" : saved;
#if defined(_WIN32)
  _putenv_s("QVCTX_SIM_CONNECT", "127.0.0.1:1");
#else
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs here
  setenv("QVCTX_SIM_CONNECT", "127.0.0.1:1", 1);
#endif
  EXPECT_EQ(ServerStartSession(), 1);
  EXPECT_EQ(WfSimBridgeState(), WFSIM_BRIDGE_NONE);
  ServerCloseSession();
#if defined(_WIN32)
  _putenv_s("QVCTX_SIM_CONNECT", kept.c_str());
#else
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no other thread runs here
  setenv("QVCTX_SIM_CONNECT", kept.c_str(), 1);
#endif
}

}  // namespace
