// The simulator as the platform: session query, channel open and query,
// handle checks, buffers and their release, counters.
#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

#include "sim_test_support.h"

namespace {

using sim_test::kCurrentSession;
using sim_test::LastError;
using sim_test::SetLastErrorTo;

class SimChannelTest : public sim_test::SimTest {};

TEST_F(SimChannelTest, SessionQueryReportsTheIcaSettingInAHeldBuffer) {
  for (const std::int32_t ica : {1, 0}) {
    WfSimSetIcaSession(ica);
    char* info = nullptr;
    std::uint32_t bytes = 0;
    ASSERT_NE(
        WFQuerySessionInformationA(nullptr, kCurrentSession, 4, &info, &bytes),
        0);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(info[0] != 0, ica != 0);
    EXPECT_EQ(WfSimHeldBufferCount(), 1u);
    WFFreeMemory(info);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  }
}

TEST_F(SimChannelTest, SessionQueryRefusesOtherServersSessionsClassesAndNulls) {
  char* const untouched = reinterpret_cast<char*>(0x1234);
  char* info = untouched;
  std::uint32_t bytes = 99;
  int server = 0;
  struct Case {
    void* server;
    std::uint32_t session;
    int info_class;
    char** buffer;
    std::uint32_t* bytes;
  };
  const Case cases[] = {{&server, kCurrentSession, 4, &info, &bytes},
                        {nullptr, 7, 4, &info, &bytes},
                        {nullptr, kCurrentSession, 3, &info, &bytes},
                        {nullptr, kCurrentSession, 4, nullptr, &bytes},
                        {nullptr, kCurrentSession, 4, &info, nullptr}};
  for (const Case& c : cases) {
    SetLastErrorTo(0);
    EXPECT_EQ(WFQuerySessionInformationA(c.server, c.session, c.info_class,
                                         c.buffer, c.bytes),
              0);
    EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_PARAMETER);
  }
  EXPECT_EQ(info, untouched);
  EXPECT_EQ(bytes, 99u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
}

TEST_F(SimChannelTest, FreeMemoryIgnoresNullForeignAndRepeatedPointers) {
  void* channel = OpenChannel();
  void* data = nullptr;
  std::uint32_t bytes = 0;
  ASSERT_NE(WFVirtualChannelQuery(channel, 0, &data, &bytes), 0);
  EXPECT_EQ(bytes, 8u);
  ASSERT_EQ(WfSimHeldBufferCount(), 1u);

  int local = 5;
  std::vector<char> heap(16);
  WFFreeMemory(nullptr);
  WFFreeMemory(&local);
  WFFreeMemory(heap.data());
  EXPECT_EQ(WfSimHeldBufferCount(), 1u);
  WFFreeMemory(data);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  WFFreeMemory(data);  // released already
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  EXPECT_EQ(local, 5);
  EXPECT_EQ(WfSimCallCount(WFSIM_FREE_MEMORY), 5u);
}

TEST_F(SimChannelTest, ChannelOpensOnlyUnderTheNameQvctx) {
  for (const char* wrong : {"QVCTX", "qvctx2", "qvct", ""}) {
    std::vector<char> name(wrong,
                           wrong + std::char_traits<char>::length(wrong) + 1);
    SetLastErrorTo(0);
    EXPECT_EQ(WFVirtualChannelOpen(nullptr, kCurrentSession, name.data()),
              nullptr)
        << wrong;
    EXPECT_EQ(LastError(), WFSIM_ERROR_FILE_NOT_FOUND) << wrong;
  }
  SetLastErrorTo(0);
  EXPECT_EQ(WFVirtualChannelOpen(nullptr, kCurrentSession, nullptr), nullptr);
  EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);

  void* first = OpenChannel();
  void* second = OpenChannel();
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  EXPECT_EQ(WfSimOpenHandleCount(), 2u);
  EXPECT_NE(WFVirtualChannelClose(first), 0);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
}

TEST_F(SimChannelTest, ClosedUnknownAndNullHandlesFailWithInvalidHandle) {
  void* closed = OpenChannel();
  ASSERT_NE(WFVirtualChannelClose(closed), 0);
  void* open = OpenChannel();
  void* unknown = reinterpret_cast<void*>(static_cast<std::uintptr_t>(0xDEAD0));
  WfSimClientSend("abc", 3);
  for (void* handle : {closed, unknown, static_cast<void*>(nullptr)}) {
    char buffer[8] = {};
    std::uint32_t count = 77;
    void* data = nullptr;
    SetLastErrorTo(0);
    EXPECT_EQ(WFVirtualChannelRead(handle, 0, buffer, 8, &count), 0);
    EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);
    EXPECT_EQ(count, 77u);
    SetLastErrorTo(0);
    EXPECT_EQ(WFVirtualChannelWrite(handle, buffer, 8, &count), 0);
    EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);
    SetLastErrorTo(0);
    EXPECT_EQ(WFVirtualChannelQuery(handle, 0, &data, &count), 0);
    EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);
    EXPECT_EQ(data, nullptr);
    SetLastErrorTo(0);
    EXPECT_EQ(WFVirtualChannelClose(handle), 0);
    EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);
  }
  // Nothing was read, written or allocated through them; the open one works.
  EXPECT_EQ(WfSimPendingReadBytes(), 3u);
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  EXPECT_EQ(WfSimOpenHandleCount(), 1u);
  EXPECT_EQ(sim_test::ReadOnce(open, 8).size(), 3u);
}

TEST_F(SimChannelTest, ADroppedClientCutsOffOldHandlesAndComesBackClean) {
  void* old = OpenChannel();
  ASSERT_NE(old, nullptr);
  WfSimSetBuiltInClient(1);
  const std::vector<std::uint8_t> cut = sim_test::FarFunction(7, "first");
  ASSERT_EQ(sim_test::WriteOnce(
                old, std::vector<std::uint8_t>(cut.begin(), cut.begin() + 20)),
            20);
  ASSERT_EQ(WfSimClientSend("abcde", 5), 0);
  WfSimSetClientConnected(0);

  // What the client sent before it left is still read; then every operation
  // on the old handle but the close fails as a broken pipe.
  EXPECT_EQ(sim_test::ReadOnce(old, 2).size(), 2u);
  struct Case {
    const char* operation;
    std::int32_t (*call)(void* handle);
  };
  const Case cases[] = {
      {"write",
       [](void* h) {
         char byte = 'x';
         std::uint32_t taken = 0;
         return WFVirtualChannelWrite(h, &byte, 1, &taken);
       }},
      {"query",
       [](void* h) {
         void* data = nullptr;
         std::uint32_t bytes = 0;
         return WFVirtualChannelQuery(h, 0, &data, &bytes);
       }},
  };
  for (const Case& c : cases) {
    SetLastErrorTo(0);
    EXPECT_EQ(c.call(old), 0) << c.operation;
    EXPECT_EQ(LastError(), WFSIM_ERROR_BROKEN_PIPE) << c.operation;
  }
  SetLastErrorTo(0);
  EXPECT_EQ(OpenChannel(), nullptr) << "the client is away";
  EXPECT_EQ(LastError(), WFSIM_ERROR_CONNECTION_REFUSED);

  // Back: a new channel starts a clean stream, the old handle stays cut off.
  WfSimSetClientConnected(1);
  void* fresh = OpenChannel();
  ASSERT_NE(fresh, nullptr);
  EXPECT_EQ(WfSimPendingReadBytes(), 0u) << "the old stream's bytes are gone";
  ASSERT_EQ(sim_test::WriteOnce(fresh, sim_test::FarFunction(9, "second")), 40);
  const std::vector<std::uint8_t> answer = sim_test::ReadOnce(fresh, 100);
  ASSERT_EQ(answer.size(), 40u) << "the half package was forgotten";
  EXPECT_EQ(qvctx::LoadLe32(&answer[4]), 9u);
  SetLastErrorTo(0);
  EXPECT_EQ(sim_test::ReadOnce(old, 8).size(), 0u);
  EXPECT_EQ(LastError(), WFSIM_ERROR_BROKEN_PIPE);
  EXPECT_NE(WFVirtualChannelClose(old), 0);
  EXPECT_NE(WFVirtualChannelClose(fresh), 0);
}

TEST_F(SimChannelTest, ChannelQueryRefusesClassesOtherThanZero) {
  void* channel = OpenChannel();
  void* data = nullptr;
  std::uint32_t bytes = 0;
  SetLastErrorTo(0);
  EXPECT_EQ(WFVirtualChannelQuery(channel, 1, &data, &bytes), 0);
  EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_PARAMETER);
  EXPECT_EQ(WFVirtualChannelQuery(channel, 0, nullptr, &bytes), 0);
  EXPECT_EQ(WFVirtualChannelQuery(channel, 0, &data, nullptr), 0);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
}

TEST_F(SimChannelTest, ATestChoosesTheNextHandleEvenWithNegativeLow32Bits) {
  constexpr std::uint64_t kValue = 0x80000004u;
  ASSERT_EQ(WfSimSetNextHandle(kValue), 0);
  void* handle = OpenChannel();
  const auto value = reinterpret_cast<std::uintptr_t>(handle);
  EXPECT_EQ(value, kValue);
  EXPECT_LT(static_cast<std::int32_t>(static_cast<std::uint32_t>(value)), 0);
  // Later opens count on, and an open value is never handed out twice.
  void* next = OpenChannel();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(next), kValue + 4);
  ASSERT_EQ(WfSimSetNextHandle(kValue), 0);
  void* third = OpenChannel();
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(third), kValue + 8);
  EXPECT_EQ(WfSimSetNextHandle(0), 1);
  EXPECT_NE(sim_test::WriteOnce(handle, {1, 2, 3}), -1);
}

TEST_F(SimChannelTest, ResetClosesHandlesAndRetiresHeldBuffersSafely) {
  void* old_channel = OpenChannel();
  char* old_info = nullptr;
  std::uint32_t bytes = 0;
  ASSERT_NE(WFQuerySessionInformationA(nullptr, kCurrentSession, 4, &old_info,
                                       &bytes),
            0);
  WfSimReset();
  EXPECT_EQ(WfSimOpenHandleCount(), 0u);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  EXPECT_EQ(WfSimCallCount(WFSIM_QUERY_SESSION), 0u);

  // A handle from before the reset never names a channel opened after it.
  void* new_channel = OpenChannel();
  EXPECT_NE(new_channel, old_channel);
  EXPECT_EQ(WFVirtualChannelClose(old_channel), 0);
  EXPECT_EQ(LastError(), WFSIM_ERROR_INVALID_HANDLE);

  // A buffer from before the reset is still released by WFFreeMemory, and its
  // release never touches a buffer handed out after the reset.
  char* new_info = nullptr;
  ASSERT_NE(WFQuerySessionInformationA(nullptr, kCurrentSession, 4, &new_info,
                                       &bytes),
            0);
  EXPECT_NE(new_info, old_info);
  WFFreeMemory(old_info);
  EXPECT_EQ(WfSimHeldBufferCount(), 1u);
  WFFreeMemory(new_info);
  EXPECT_EQ(WfSimHeldBufferCount(), 0u);
}

TEST_F(SimChannelTest, CallCountsIncludeRefusedCalls) {
  void* channel = OpenChannel();
  char buffer[4];
  std::uint32_t count = 0;
  WFVirtualChannelRead(channel, 0, buffer, 4, &count);
  WFVirtualChannelRead(nullptr, 0, buffer, 4, &count);
  WFVirtualChannelClose(channel);
  WFVirtualChannelClose(channel);
  EXPECT_EQ(WfSimCallCount(WFSIM_OPEN), 1u);
  EXPECT_EQ(WfSimCallCount(WFSIM_READ), 2u);
  EXPECT_EQ(WfSimCallCount(WFSIM_CLOSE), 2u);
  EXPECT_EQ(WfSimCallCount(WFSIM_WRITE), 0u);
  EXPECT_EQ(WfSimCallCount(42), 0u);
}

TEST_F(SimChannelTest, LastErrorBelongsToTheCallingThread) {
  // Thread `setter` holds its own code while thread `failer` fails a call;
  // between setting and reading, `setter` only spins on an atomic flag.
  std::atomic<int> step{0};
  std::uint32_t setter_error = 0;
  std::uint32_t failer_error = 0;
  std::thread setter([&] {
    SetLastErrorTo(4242);
    step.store(1);
    while (step.load() != 2) std::this_thread::yield();
    setter_error = LastError();
  });
  std::thread failer([&] {
    while (step.load() != 1) std::this_thread::yield();
    SetLastErrorTo(0);
    WFVirtualChannelClose(nullptr);
    failer_error = LastError();
    step.store(2);
  });
  setter.join();
  failer.join();
  EXPECT_EQ(failer_error, WFSIM_ERROR_INVALID_HANDLE);
  EXPECT_EQ(setter_error, 4242u);
}

}  // namespace
