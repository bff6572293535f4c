// The receive path from the client to the host's callbacks, end to end, and
// the exports used from several host threads while the reader dispatches.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "protocol/wire_format.h"
#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/session_fixture.h"
#include "support/test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

// What the callbacks received, in order.
struct Received {
  std::mutex mutex;
  std::vector<std::vector<std::uint8_t>> events;
  std::vector<std::vector<std::uint8_t>> results;
  std::atomic<int> count{0};
};
Received* g_received = nullptr;

void OnEvent(const std::uint8_t* package, std::uint32_t length) {
  std::lock_guard<std::mutex> hold(g_received->mutex);
  g_received->events.emplace_back(package, package + length);
  g_received->count++;
}

void OnResult(const std::uint8_t* package, std::uint32_t length) {
  std::lock_guard<std::mutex> hold(g_received->mutex);
  g_received->results.emplace_back(package, package + length);
  g_received->count++;
}

bool WaitFor(const std::atomic<int>& counter, int target) {
  const auto deadline = Clock::now() + qvctx_test::kWait;
  while (counter.load() < target) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until the log file has a line containing `text`.
bool WaitForLogLine(const std::string& text) {
  const auto deadline = Clock::now() + qvctx_test::kWait;
  while (Clock::now() < deadline) {
    for (const std::string& line : qvctx_test::ReadLogLines()) {
      if (line.find(text) != std::string::npos) return true;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return false;
}

std::string Payload(int index, std::size_t size) {
  std::string payload(size, '\0');
  for (std::size_t i = 0; i < size; ++i) {
    payload[i] = static_cast<char>((index * 31 + static_cast<int>(i)) & 0xFF);
  }
  return payload;
}

using qvctx::LoadLe32;

class SessionEndToEndTest : public qvctx_test::SessionFixture {
 protected:
  void SetUp() override {
    SessionFixture::SetUp();
    g_received = &received_;
  }
  void TearDown() override {
    SessionFixture::TearDown();
    g_received = nullptr;
  }
  Received received_;
};

TEST_F(SessionEndToEndTest, EventsAndResultsArriveIntactAndInOrder) {
  ServerRegisterEventCallBackFunction(OnEvent);
  ServerRegisterResultCallBackFunction(OnResult);
  ASSERT_EQ(ServerStartSession(), 0);
  WfSimSetReadPieceSize(97);  // every package crosses several reads

  constexpr int kPackages = 60;
  std::vector<std::string> payloads;
  for (int i = 0; i < kPackages; ++i) {
    payloads.push_back(Payload(i, static_cast<std::size_t>(i) * 150));
    const std::uint16_t type = (i % 3 == 0) ? 1 : 2;
    ASSERT_EQ(WfSimClientSendPackage(
                  type, 1000 + i, payloads.back().data(),
                  static_cast<std::uint32_t>(payloads.back().size())),
              0);
  }
  ASSERT_TRUE(WaitFor(received_.count, kPackages));
  ASSERT_EQ(ServerCloseSession(), 0);

  std::size_t next_event = 0;
  std::size_t next_result = 0;
  for (int i = 0; i < kPackages; ++i) {
    const bool is_event = i % 3 == 0;
    const std::vector<std::uint8_t>& got =
        is_event ? received_.events.at(next_event++)
                 : received_.results.at(next_result++);
    ASSERT_EQ(got.size(), 34 + payloads[i].size()) << "package " << i;
    EXPECT_EQ(got[0], is_event ? 1 : 2);
    EXPECT_EQ(LoadLe32(&got[4]), static_cast<std::uint32_t>(1000 + i));
    EXPECT_EQ(LoadLe32(&got[8]), got.size());
    EXPECT_EQ(
        std::memcmp(got.data() + 34, payloads[i].data(), payloads[i].size()), 0)
        << "package " << i;
  }
  EXPECT_EQ(next_event + next_result, static_cast<std::size_t>(kPackages));
}

TEST_F(SessionEndToEndTest,
       CloseClearsTheCallbacksSoTheNextSessionRegistersAgain) {
  ServerRegisterEventCallBackFunction(OnEvent);
  ASSERT_EQ(ServerStartSession(), 0);
  ASSERT_EQ(ServerCloseSession(), 0);
  ASSERT_EQ(ServerStartSession(), 0);
  WfSimClientSendEvent(7, "dropped", 7);
  ASSERT_TRUE(WaitForLogLine("response to FNCTyp=1 - msgID=7 fncID=7"));
  ServerRegisterEventCallBackFunction(OnEvent);
  WfSimClientSendEvent(8, "kept", 4);
  ASSERT_TRUE(WaitFor(received_.count, 1));
  ASSERT_EQ(ServerCloseSession(), 0);
  ASSERT_EQ(received_.events.size(), 1u);
  EXPECT_EQ(LoadLe32(&received_.events[0][4]), 8u);
}

TEST_F(SessionEndToEndTest, HostThreadsUseTheExportsWhileTheReaderDispatches) {
  ServerRegisterEventCallBackFunction(OnEvent);
  ServerRegisterResultCallBackFunction(OnResult);
  ASSERT_EQ(ServerStartSession(), 0);

  std::atomic<bool> stop{false};
  std::vector<std::thread> hosts;
  for (int t = 0; t < 3; ++t) {
    hosts.emplace_back([&, t] {
      for (int i = 0; i < 400 && !stop.load(); ++i) {
        // One thread owns the fetched text: a free from another thread
        // would release it while this one reads it.
        if (t == 2) {
          const char* text = ServerSessionLog();
          EXPECT_NE(text, nullptr);
          EXPECT_GT(std::strlen(text), 0u);
          ServerSessionFreeLog();
        }
        ServerSessionInfo();
        ServerGetLastError();
        if (t == 0) ServerRegisterEventCallBackFunction(OnEvent);
        if (t == 1) ServerRegisterResultCallBackFunction(OnResult);
      }
    });
  }
  constexpr int kPackages = 300;
  for (int i = 0; i < kPackages; ++i) {
    WfSimClientSendPackage(static_cast<std::uint16_t>(1 + i % 2), 1 + i, "x",
                           1);
  }
  const bool delivered = WaitFor(received_.count, kPackages);
  stop = true;
  for (std::thread& host : hosts) host.join();
  EXPECT_TRUE(delivered);
  EXPECT_EQ(ServerCloseSession(), 0);
}

TEST_F(SessionEndToEndTest, ManyStartCloseCyclesLeaveNothingHeld) {
  const auto deadline = Clock::now() + qvctx_test::kWait;
  int cycles = 0;
  for (; cycles < 200 && Clock::now() < deadline; ++cycles) {
    ASSERT_EQ(ServerStartSession(), 0) << "cycle " << cycles;
    if (cycles % 20 == 0) {
      ServerRegisterEventCallBackFunction(OnEvent);
      WfSimClientSendEvent(1 + cycles, "cycle", 5);
    }
    ASSERT_EQ(ServerCloseSession(), 0);
    ASSERT_EQ(WfSimOpenHandleCount(), 0u);
    ASSERT_EQ(WfSimHeldBufferCount(), 0u);
  }
  EXPECT_GT(cycles, 20);
  ServerSessionLog();
  ServerSessionFreeLog();
}

}  // namespace
