// The start's buffers: a read buffer that cannot be allocated (the one
// failure of the start that no platform call causes, reached through the
// core's allocation seam), and the receive block, committed only as it fills.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "module/module.h"
#include "module/module_data.h"
#include "module/session_test_helper.h"
#include "protocol/wire_format.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"
#include "transport/shift_buffer_test_helper.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace qvctx {
namespace {

char* NoMemory(std::size_t) { return nullptr; }

TEST(SessionReadBufferTest, FailedAllocationEndsTheStartAfterTheSizeLine) {
  WfSimReset();
  qvctx_test::CreateLogFolder();
  SetReadBufferAllocatorForTesting(&NoMemory);
  EXPECT_EQ(TheModule().StartSession(), 1);
  SetReadBufferAllocatorForTesting(nullptr);
  EXPECT_EQ(myModuleData.exitcode.load(), 0);
  EXPECT_EQ(myModuleData.GlobalReadDataTmpPtr, nullptr);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_EQ(WfSimHeldBufferCount(), 2u);

  const std::string text = FetchSessionLog();
  FreeSessionLog();
  const std::string size_line =
      "Info - ServerStartSession:: Sizeof PACKAGEHEAD = 34 ";
  ASSERT_GE(text.size(), size_line.size());
  EXPECT_EQ(text.substr(text.size() - size_line.size()), size_line);
  bool logged = false;
  for (const std::string& line : qvctx_test::ReadLogLines()) {
    logged |= line.rfind("ERROR - ", 0) == 0 &&
              line.find(" \tServerStartSession:: Error allocating memory") !=
                  std::string::npos;
  }
  EXPECT_TRUE(logged);

  EXPECT_EQ(TheModule().CloseSession(), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  const std::string close_text = FetchSessionLog();
  FreeSessionLog();
  EXPECT_EQ(
      close_text,
      "Info - ServerCloseSession:: Close all thread handles upon completion.! &"
      "Info - ServerCloseSession::WFFreeMemory1 done! &"
      "Info - ServerCloseSession::WFFreeMemory2 done! ");
}

#if defined(_WIN32)

// The bytes of the receive block that the system has committed.
std::size_t CommittedBytes(const std::uint8_t* block) {
  const std::uint8_t* const end = block + kShiftBufferCapacity;
  std::size_t committed = 0;
  for (const std::uint8_t* at = block; at < end;) {
    MEMORY_BASIC_INFORMATION info{};
    if (VirtualQuery(at, &info, sizeof(info)) == 0) break;
    const std::uint8_t* const next =
        std::min(end, static_cast<const std::uint8_t*>(info.BaseAddress) +
                          info.RegionSize);
    if (info.State == MEM_COMMIT) committed += next - at;
    at = next;
  }
  return committed;
}

std::atomic<std::uint32_t> g_last_length{0};
std::atomic<std::size_t> g_committed_in_call{0};
std::atomic<int> g_packages{0};

void OnEvent(const std::uint8_t* /*package*/, std::uint32_t length) {
  g_last_length = length;
  g_committed_in_call = CommittedBytes(LastShiftBufferBlockForTesting());
  ++g_packages;
}

// Sends one event package of `size` bytes and waits until it is dispatched.
bool Receive(std::uint32_t size) {
  const std::vector<char> payload(size - kPackageHeadSize, 'p');
  const int before = g_packages.load();
  if (WfSimClientSendEvent(7, payload.data(),
                           static_cast<std::uint32_t>(payload.size())) != 0)
    return false;
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  while (g_packages.load() == before) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return g_last_length.load() == size;
}

#endif

TEST(SessionReceiveBlockTest, IsCommittedOnlyAsItFills) {
#if !defined(_WIN32)
  GTEST_SKIP() << "an anonymous mapping takes memory as pages are touched";
#else
  WfSimReset();
  qvctx_test::CreateLogFolder();
  TheModule().RegisterEventCallBack(&OnEvent);
  ASSERT_EQ(TheModule().StartSession(), 0);
  ASSERT_TRUE(Receive(100 * 1024));
  const std::uint8_t* block = LastShiftBufferBlockForTesting();
  ASSERT_NE(block, nullptr);
  EXPECT_GE(g_committed_in_call.load(), 100u * 1024);
  EXPECT_LE(g_committed_in_call.load(), 256u * 1024);
  // The largest package the block takes: all of it committed while it is
  // handed out, and given back once the buffer is empty and the channel idle.
  ASSERT_TRUE(Receive(kShiftBufferWriteLimit - 1));
  EXPECT_EQ(g_committed_in_call.load(), kShiftBufferCapacity);
  const auto deadline = std::chrono::steady_clock::now() + qvctx_test::kWait;
  while (CommittedBytes(block) >= 256u * 1024 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_LT(CommittedBytes(block), 256u * 1024);
  EXPECT_EQ(TheModule().CloseSession(), 0);
#endif
}

}  // namespace
}  // namespace qvctx
