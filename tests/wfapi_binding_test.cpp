// Binding the platform's virtual-channel library at run time: the real
// simulator library beside the program, a library that is missing, one that
// lacks the names, a library that turns up later, an installed table, and
// many threads that are first at once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "channel/wfapi.h"
#include "channel/wfapi_test_helper.h"
#include "platform/platform.h"
#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace {

using qvctx::WfBool;
using qvctx::WfDword;
using qvctx::WfHandle;

constexpr WfDword kCurrentSession = 0xFFFFFFFFu;
constexpr std::uint32_t kModuleNotFound = 126;
constexpr std::uint32_t kProcNotFound = 127;

// A library that exists everywhere but exports none of the seven names.
#if defined(_WIN32)
constexpr char kLibraryWithoutTheNames[] = "kernel32.dll";
#else
constexpr char kLibraryWithoutTheNames[] = "libc.so.6";
#endif

// The simulator's control functions, looked up in the same library that the
// binding loads, so both act on one simulator.
class SimControl {
 public:
  SimControl() : library_(qvctx_test::LibraryPath("wfapi64")) {}
  bool ok() const { return library_.ok(); }
  void Reset() const { Get<decltype(&WfSimReset)>("WfSimReset")(); }
  std::uint32_t HeldBuffers() const {
    return Get<decltype(&WfSimHeldBufferCount)>("WfSimHeldBufferCount")();
  }
  std::uint32_t OpenHandles() const {
    return Get<decltype(&WfSimOpenHandleCount)>("WfSimOpenHandleCount")();
  }
  std::uint64_t Calls(WfSimOperation operation) const {
    return Get<decltype(&WfSimCallCount)>("WfSimCallCount")(operation);
  }
  std::int32_t ClientSend(const void* data, std::uint32_t length) const {
    return Get<decltype(&WfSimClientSend)>("WfSimClientSend")(data, length);
  }
  std::uint64_t WrittenTotal() const {
    return Get<decltype(&WfSimWrittenTotal)>("WfSimWrittenTotal")();
  }

 private:
  template <typename Fn>
  Fn Get(const char* name) const {
    Fn fn = library_.Function<Fn>(name);
    EXPECT_NE(fn, nullptr) << name;
    return fn;
  }

  qvctx_test::LoadedLibrary library_;
};

// Calls all seven operations through the binding; each must fail with
// `code` without touching what it was given.
void ExpectEveryOperationFailsWith(std::uint32_t code) {
  char* info = nullptr;
  void* data = nullptr;
  WfDword count = 5;
  char buffer[8] = {};
  char name[] = "qvctx";
  WfHandle handle =
      reinterpret_cast<WfHandle>(static_cast<std::uintptr_t>(0x1000));

  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFQuerySessionInformationA(nullptr, kCurrentSession, 4,
                                              &info, &count),
            0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name),
            nullptr);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFVirtualChannelQuery(handle, 0, &data, &count), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFVirtualChannelRead(handle, 0, buffer, 8, &count), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFVirtualChannelWrite(handle, buffer, 8, &count), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  qvctx::port::SetLastErrorCode(0);
  EXPECT_EQ(qvctx::WFVirtualChannelClose(handle), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  // A pointer that no library handed out: nothing may free it.
  int local = 9;
  qvctx::port::SetLastErrorCode(0);
  qvctx::WFFreeMemory(&local);
  EXPECT_EQ(qvctx::port::LastErrorCode(), code);
  EXPECT_EQ(local, 9);
  EXPECT_EQ(info, nullptr);
  EXPECT_EQ(data, nullptr);
  EXPECT_EQ(count, 5u);
}

// Declared first, so that it runs before anything else in this program has
// loaded the simulator: the binding itself must find the library beside the
// program (the program does not link it).
TEST(WfApiFirstBindTest, FindsTheSimulatorBesideTheProgram) {
  qvctx::port::SetLastErrorCode(0);
  // An unknown handle: only the simulator answers that with 6.
  EXPECT_EQ(qvctx::WFVirtualChannelClose(nullptr), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), WFSIM_ERROR_INVALID_HANDLE);
}

class WfApiBindingTest : public ::testing::Test {
 protected:
  // Each test starts unbound, so its first operation binds.
  void SetUp() override {
    qvctx::BindWfApiLibraryForTesting(nullptr);
    ASSERT_TRUE(sim_.ok());
    sim_.Reset();
  }
  void TearDown() override {
    qvctx::InstallWfApiForTesting(nullptr);
    qvctx::BindWfApiLibraryForTesting(nullptr);
    sim_.Reset();
  }

  SimControl sim_;
};

TEST_F(WfApiBindingTest, BindsTheSimulatorBesideTheProgramOnFirstUse) {
  char* info = nullptr;
  WfDword bytes = 0;
  ASSERT_NE(qvctx::WFQuerySessionInformationA(nullptr, kCurrentSession, 4,
                                              &info, &bytes),
            0)
      << "last error " << qvctx::port::LastErrorCode();
  EXPECT_NE(info[0], 0);
  // The buffer came from the simulator the test controls.
  EXPECT_EQ(sim_.HeldBuffers(), 1u);

  char name[] = "qvctx";
  WfHandle channel =
      qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(sim_.OpenHandles(), 1u);
  void* data = nullptr;
  EXPECT_NE(qvctx::WFVirtualChannelQuery(channel, 0, &data, &bytes), 0);

  sim_.ClientSend("ping", 4);
  char buffer[2044];
  WfDword count = 0;
  ASSERT_NE(
      qvctx::WFVirtualChannelRead(channel, 0, buffer, sizeof(buffer), &count),
      0);
  EXPECT_EQ(std::string(buffer, count), "ping");
  char reply[] = "pong";
  ASSERT_NE(qvctx::WFVirtualChannelWrite(channel, reply, 4, &count), 0);
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(sim_.WrittenTotal(), 4u);

  EXPECT_NE(qvctx::WFVirtualChannelClose(channel), 0);
  EXPECT_EQ(sim_.OpenHandles(), 0u);
  // The simulator's own last error comes through the binding unchanged.
  EXPECT_EQ(qvctx::WFVirtualChannelClose(channel), 0);
  EXPECT_EQ(qvctx::port::LastErrorCode(), WFSIM_ERROR_INVALID_HANDLE);
  qvctx::WFFreeMemory(data);
  qvctx::WFFreeMemory(info);
  EXPECT_EQ(sim_.HeldBuffers(), 0u);
}

TEST_F(WfApiBindingTest, AMissingLibraryFailsEveryOperationWith126) {
  const std::string missing =
      std::string("qvctx-missing-") + qvctx::port::VirtualChannelLibraryName();
  qvctx::BindWfApiLibraryForTesting(missing.c_str());
  ExpectEveryOperationFailsWith(kModuleNotFound);
  // Still failing on later calls, and nothing reached the simulator.
  ExpectEveryOperationFailsWith(kModuleNotFound);
  EXPECT_EQ(sim_.Calls(WFSIM_OPEN), 0u);
  EXPECT_EQ(sim_.Calls(WFSIM_FREE_MEMORY), 0u);
}

TEST_F(WfApiBindingTest, ALibraryWithoutTheNamesFailsEveryOperationWith127) {
  qvctx::BindWfApiLibraryForTesting(kLibraryWithoutTheNames);
  ExpectEveryOperationFailsWith(kProcNotFound);
  ExpectEveryOperationFailsWith(kProcNotFound);
}

// A failed bind is tried again on the next call: a library that turns up
// after the first failure is bound without any reset.
TEST_F(WfApiBindingTest, ALibraryThatTurnsUpLaterIsBoundOnTheNextCall) {
  namespace fs = std::filesystem;
  // A folder of its own for every run in this process: a library stays
  // loaded under its path even after its file is gone.
  static int run = 0;
  const fs::path folder =
      fs::path(qvctx_test::LibraryPath("wfapi64")).parent_path() /
      ("late-platform-" + std::to_string(run++));
  const fs::path late = folder / qvctx::port::VirtualChannelLibraryName();
  std::error_code ignored;
  fs::remove_all(folder, ignored);
  const std::string late_name = late.string();
  qvctx::BindWfApiLibraryForTesting(late_name.c_str());

  char name[] = "qvctx";
  EXPECT_EQ(qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name),
            nullptr);
  EXPECT_EQ(qvctx::port::LastErrorCode(), kModuleNotFound);

  ASSERT_TRUE(fs::create_directories(folder));
  fs::copy_file(qvctx_test::LibraryPath("wfapi64"), late);
  // The copy is a simulator of its own; it answers, so it was bound.
  WfHandle channel =
      qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name);
  EXPECT_NE(channel, nullptr) << "last error " << qvctx::port::LastErrorCode();
  EXPECT_NE(qvctx::WFVirtualChannelClose(channel), 0);
}

// A table of our own, counting the calls that reach it.
std::atomic<int> fake_calls{0};
WfHandle const kFakeHandle =
    reinterpret_cast<WfHandle>(static_cast<std::uintptr_t>(0x77));

WfBool FakeQuerySession(WfHandle, WfDword, int, char**, WfDword*) {
  ++fake_calls;
  return 11;
}
WfHandle FakeOpen(WfHandle, WfDword, char*) {
  ++fake_calls;
  return kFakeHandle;
}
WfBool FakeQuery(WfHandle, int, void**, WfDword*) {
  ++fake_calls;
  return 12;
}
WfBool FakeRead(WfHandle, WfDword, char*, WfDword, WfDword* read) {
  ++fake_calls;
  *read = 3;
  return 13;
}
WfBool FakeWrite(WfHandle, char*, WfDword length, WfDword* written) {
  ++fake_calls;
  *written = length;
  return 14;
}
WfBool FakeClose(WfHandle) {
  ++fake_calls;
  return 15;
}
void FakeFree(void*) { ++fake_calls; }

TEST_F(WfApiBindingTest, AnInstalledTableTakesEveryCallUntilRemoved) {
  const qvctx::WfApiTable table{FakeQuerySession, FakeOpen,  FakeQuery,
                                FakeRead,         FakeWrite, FakeClose,
                                FakeFree};
  qvctx::InstallWfApiForTesting(&table);
  fake_calls = 0;
  char name[] = "qvctx";
  char buffer[4] = {};
  WfDword count = 0;
  EXPECT_EQ(qvctx::WFQuerySessionInformationA(nullptr, kCurrentSession, 4,
                                              nullptr, nullptr),
            11);
  EXPECT_EQ(qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name),
            kFakeHandle);
  EXPECT_EQ(qvctx::WFVirtualChannelQuery(kFakeHandle, 0, nullptr, nullptr), 12);
  EXPECT_EQ(qvctx::WFVirtualChannelRead(kFakeHandle, 0, buffer, 4, &count), 13);
  EXPECT_EQ(count, 3u);
  EXPECT_EQ(qvctx::WFVirtualChannelWrite(kFakeHandle, buffer, 4, &count), 14);
  EXPECT_EQ(qvctx::WFVirtualChannelClose(kFakeHandle), 15);
  qvctx::WFFreeMemory(buffer);
  EXPECT_EQ(fake_calls.load(), 7);
  EXPECT_EQ(sim_.Calls(WFSIM_OPEN), 0u);

  qvctx::InstallWfApiForTesting(nullptr);
  WfHandle channel =
      qvctx::WFVirtualChannelOpen(nullptr, kCurrentSession, name);
  EXPECT_NE(channel, nullptr);
  EXPECT_EQ(sim_.Calls(WFSIM_OPEN), 1u);
  EXPECT_EQ(fake_calls.load(), 7);
  qvctx::WFVirtualChannelClose(channel);
}

TEST_F(WfApiBindingTest, ThreadsThatAreFirstAtOnceAllReachTheLibrary) {
  constexpr int kThreads = 8;
  std::atomic<int> ready{0};
  std::atomic<int> reached{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([&] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      // An unknown handle: the simulator itself answers 6, so the call was
      // bound and went through.
      if (qvctx::WFVirtualChannelClose(nullptr) == 0 &&
          qvctx::port::LastErrorCode() == WFSIM_ERROR_INVALID_HANDLE) {
        ++reached;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(reached.load(), kThreads);
  EXPECT_EQ(sim_.Calls(WFSIM_CLOSE), static_cast<std::uint64_t>(kThreads));
}

}  // namespace
