// Injected faults: countdowns per operation, partial writes, writes that
// take nothing, and what a failed call leaves behind.
#include <cstdint>
#include <vector>

#include "sim_test_support.h"

namespace {

using sim_test::kCurrentSession;
using sim_test::LastError;
using sim_test::ReadOnce;
using sim_test::SetLastErrorTo;
using sim_test::WriteOnce;

class SimFaultTest : public sim_test::SimTest {
 protected:
  // Opens the channels that CallSucceeds uses, before any fault is armed.
  void OpenSpareChannels() {
    spare_.clear();
    for (int i = 0; i < 8; ++i) spare_.push_back(OpenChannel());
  }

  // Calls the operation once in a way that succeeds without a fault; returns
  // whether it succeeded. Channels come from OpenSpareChannels (a close uses
  // one up), so an armed open cannot disturb the other operations.
  bool CallSucceeds(WfSimOperation operation) {
    char* info = nullptr;
    void* data = nullptr;
    std::uint32_t count = 0;
    char buffer[8] = {};
    char name[] = "qvctx";
    switch (operation) {
      case WFSIM_QUERY_SESSION: {
        const bool ok = WFQuerySessionInformationA(nullptr, kCurrentSession, 4,
                                                   &info, &count) != 0;
        WFFreeMemory(info);
        return ok;
      }
      case WFSIM_OPEN:
        return WFVirtualChannelOpen(nullptr, kCurrentSession, name) != nullptr;
      case WFSIM_QUERY: {
        const bool ok =
            WFVirtualChannelQuery(spare_.front(), 0, &data, &count) != 0;
        WFFreeMemory(data);
        return ok;
      }
      case WFSIM_READ:
        return WFVirtualChannelRead(spare_.front(), 0, buffer, 8, &count) != 0;
      case WFSIM_WRITE:
        return WFVirtualChannelWrite(spare_.front(), buffer, 8, &count) != 0;
      case WFSIM_CLOSE: {
        const bool ok = WFVirtualChannelClose(spare_.back()) != 0;
        if (ok) spare_.pop_back();
        return ok;
      }
      default:
        return false;
    }
  }

  std::vector<void*> spare_;  // open channels; the first is never closed
};

const WfSimOperation kFallible[] = {WFSIM_QUERY_SESSION, WFSIM_OPEN,
                                    WFSIM_QUERY,         WFSIM_READ,
                                    WFSIM_WRITE,         WFSIM_CLOSE};

TEST_F(SimFaultTest, EachOperationFailsTheNextNCallsWithItsCodeAlone) {
  for (const WfSimOperation armed : kFallible) {
    WfSimReset();
    OpenSpareChannels();
    const std::uint32_t code = 1000 + static_cast<std::uint32_t>(armed);
    ASSERT_EQ(WfSimFailCalls(armed, 0, 2, code), 0);
    for (const WfSimOperation other : kFallible) {
      if (other == armed) continue;
      EXPECT_TRUE(CallSucceeds(other)) << armed << " " << other;
    }
    for (int i = 0; i < 2; ++i) {
      SetLastErrorTo(0);
      EXPECT_FALSE(CallSucceeds(armed)) << armed;
      EXPECT_EQ(LastError(), code) << armed;
    }
    EXPECT_TRUE(CallSucceeds(armed)) << armed;
    // Only the armed operation's fault fired, and exactly twice.
    for (const WfSimOperation op : kFallible) {
      EXPECT_EQ(WfSimFaultsFired(op), op == armed ? 2u : 0u) << armed << op;
    }
  }
}

TEST_F(SimFaultTest, TheCallAfterKSuccessesFails) {
  void* channel = OpenChannel();
  ASSERT_EQ(WfSimFailCalls(WFSIM_READ, 3, 1, 59), 0);
  char buffer[4];
  std::vector<std::int32_t> results;
  for (int i = 0; i < 6; ++i) {
    std::uint32_t count = 0;
    results.push_back(
        WFVirtualChannelRead(channel, 0, buffer, 4, &count) != 0 ? 1 : 0);
  }
  EXPECT_EQ(results, (std::vector<std::int32_t>{1, 1, 1, 0, 1, 1}));
  EXPECT_EQ(WfSimFaultsFired(WFSIM_READ), 1u);
}

TEST_F(SimFaultTest, AFaultForeverLastsUntilCleared) {
  void* channel = OpenChannel();
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 0, WFSIM_FOREVER, 33), 0);
  for (int i = 0; i < 50; ++i) {
    SetLastErrorTo(0);
    ASSERT_EQ(WriteOnce(channel, {1, 2}), -1);
    ASSERT_EQ(LastError(), 33u);
  }
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 50u);
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 0, 0, 0), 0);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 0u);  // counted anew once set
  EXPECT_EQ(WriteOnce(channel, {1, 2}), 2);
  EXPECT_EQ(WfSimWrittenTotal(), 2u);
}

TEST_F(SimFaultTest, ArmingAgainReplacesTheEarlierFault) {
  void* channel = OpenChannel();
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 0, 5, 1), 0);
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 1, 1, 2), 0);
  EXPECT_EQ(WriteOnce(channel, {1}), 1);
  EXPECT_EQ(WriteOnce(channel, {1}), -1);
  EXPECT_EQ(LastError(), 2u);
  EXPECT_EQ(WriteOnce(channel, {1}), 1);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 1u);
}

TEST_F(SimFaultTest, RefusedCallsDoNotCountDown) {
  void* channel = OpenChannel();
  ASSERT_EQ(WfSimFailCalls(WFSIM_READ, 0, 1, 9), 0);
  char buffer[4];
  std::uint32_t count = 0;
  EXPECT_EQ(WFVirtualChannelRead(nullptr, 0, buffer, 4, &count), 0);
  EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);
  EXPECT_EQ(WFVirtualChannelRead(channel, 0, buffer, 4, nullptr), 0);
  EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_READ), 0u);
  EXPECT_EQ(WFVirtualChannelRead(channel, 0, buffer, 4, &count), 0);
  EXPECT_EQ(LastError(), 9u);
}

TEST_F(SimFaultTest, FailCallsRefusesFreeMemoryAndUnknownOperations) {
  EXPECT_EQ(WfSimFailCalls(WFSIM_FREE_MEMORY, 0, 1, 5), 1);
  EXPECT_EQ(WfSimFailCalls(7, 0, 1, 5), 1);
  EXPECT_EQ(WfSimFailCalls(-1, 0, 1, 5), 1);
}

TEST_F(SimFaultTest, AFailedCloseKeepsTheHandleOpenForASecondClose) {
  void* channel = OpenChannel();
  ASSERT_EQ(WfSimFailCalls(WFSIM_CLOSE, 0, 1, 55), 0);
  EXPECT_EQ(WFVirtualChannelClose(channel), 0);
  EXPECT_EQ(LastError(), 55u);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_NE(WFVirtualChannelClose(channel), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
}

TEST_F(SimFaultTest, FailedCallsLeaveOutParametersAsTheyWere) {
  void* channel = OpenChannel();
  WfSimClientSend("abc", 3);
  for (const WfSimOperation op : kFallible) WfSimFailCalls(op, 0, 1, 77);

  char* const info_mark = reinterpret_cast<char*>(0x10);
  char* info = info_mark;
  std::uint32_t count = 1234;
  EXPECT_EQ(
      WFQuerySessionInformationA(nullptr, kCurrentSession, 4, &info, &count),
      0);
  EXPECT_EQ(info, info_mark);
  EXPECT_EQ(count, 1234u);
  void* const data_mark = reinterpret_cast<void*>(0x20);
  void* data = data_mark;
  EXPECT_EQ(WFVirtualChannelQuery(channel, 0, &data, &count), 0);
  EXPECT_EQ(data, data_mark);
  char buffer[8] = {};
  EXPECT_EQ(WFVirtualChannelRead(channel, 0, buffer, 8, &count), 0);
  EXPECT_EQ(count, 1234u);
  EXPECT_EQ(WfSimPendingReadBytes(), 3u);  // a failed read takes nothing
  EXPECT_EQ(WFVirtualChannelWrite(channel, buffer, 8, &count), 0);
  EXPECT_EQ(count, 1234u);
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);

  WfSimWriteRecord record{};
  ASSERT_EQ(WfSimGetWriteRecord(0, &record), 0);
  EXPECT_EQ(record.requested, 8u);
  EXPECT_EQ(record.taken, 0u);
  EXPECT_EQ(record.succeeded, 0);
  EXPECT_EQ(record.error, 77u);
}

TEST_F(SimFaultTest, TheWriteCapMakesPartialWrites) {
  void* channel = OpenChannel();
  WfSimSetWriteCap(1000);
  std::vector<std::uint8_t> bytes(2010);
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(i);
  EXPECT_EQ(WriteOnce(channel, bytes), 1000);
  EXPECT_EQ(WriteOnce(channel, std::vector<std::uint8_t>(bytes.begin() + 1000,
                                                         bytes.end())),
            1000);
  EXPECT_EQ(WriteOnce(channel, std::vector<std::uint8_t>(bytes.begin() + 2000,
                                                         bytes.end())),
            10);
  WfSimWriteRecord record{};
  ASSERT_EQ(WfSimGetWriteRecord(0, &record), 0);
  EXPECT_EQ(record.requested, 2010u);
  EXPECT_EQ(record.taken, 1000u);
  EXPECT_EQ(sim_test::TakeAllWritten(), bytes);
  WfSimSetWriteCap(0);
  EXPECT_EQ(WriteOnce(channel, bytes), 2010);
}

TEST_F(SimFaultTest, ZeroWritesReportSuccessAndTakeNothing) {
  void* channel = OpenChannel();
  WfSimZeroWrites(1, 2);
  EXPECT_EQ(WriteOnce(channel, {1, 2, 3}), 3);
  EXPECT_EQ(WriteOnce(channel, {4, 5, 6}), 0);
  EXPECT_EQ(WriteOnce(channel, {7, 8, 9}), 0);
  EXPECT_EQ(WriteOnce(channel, {10}), 1);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 2u);
  EXPECT_EQ(sim_test::TakeAllWritten(),
            (std::vector<std::uint8_t>{1, 2, 3, 10}));
  WfSimWriteRecord record{};
  ASSERT_EQ(WfSimGetWriteRecord(1, &record), 0);
  EXPECT_EQ(record.succeeded, 1);
  EXPECT_EQ(record.requested, 3u);
  EXPECT_EQ(record.taken, 0u);
}

TEST_F(SimFaultTest, ResetClearsEveryFaultAndSetting) {
  for (const WfSimOperation op : kFallible)
    WfSimFailCalls(op, 0, WFSIM_FOREVER, 1);
  WfSimSetWriteCap(1);
  WfSimZeroWrites(0, WFSIM_FOREVER);
  WfSimSetReadPieceSize(1);
  WfSimSetIcaSession(0);
  WfSimSetBuiltInClient(1);
  ASSERT_FALSE(CallSucceeds(WFSIM_QUERY_SESSION));
  EXPECT_EQ(WfSimFaultsFired(WFSIM_QUERY_SESSION), 1u);
  WfSimReset();
  EXPECT_EQ(WfSimFaultsFired(WFSIM_QUERY_SESSION), 0u);

  OpenSpareChannels();
  for (const WfSimOperation op : kFallible) EXPECT_TRUE(CallSucceeds(op)) << op;
  char* info = nullptr;
  std::uint32_t count = 0;
  ASSERT_NE(
      WFQuerySessionInformationA(nullptr, kCurrentSession, 4, &info, &count),
      0);
  EXPECT_NE(info[0], 0);
  WFFreeMemory(info);
  void* channel = OpenChannel();
  EXPECT_EQ(WriteOnce(channel, sim_test::FarFunction(5, "abc")), 37);
  EXPECT_EQ(WfSimAnsweredCount(), 0u);  // the built-in client is off again
  WfSimClientSend("abcd", 4);
  EXPECT_EQ(ReadOnce(channel, 2044).size(), 4u);
}

}  // namespace
