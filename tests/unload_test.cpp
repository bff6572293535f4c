// A host that unloads the library while its session runs: the reader goes
// on, the process lives, and loading the library again gives the same
// instance, whose close stops the reader and lets the library go.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "qvctx/wfapi64_sim.h"
#include "support/test_support.h"

namespace {

using Int32Fn = std::int32_t (*)();

// Still mapped in the process, whoever holds it.
bool LibraryIsMapped() {
#if defined(_WIN32)
  return GetModuleHandleA("qvctx.dll") != nullptr;
#else
  void* handle =
      dlopen(qvctx_test::LibraryPath("qvctx").c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle != nullptr) dlclose(handle);
  return handle != nullptr;
#endif
}

std::int32_t Call(const qvctx_test::LoadedLibrary& library, const char* name) {
  const auto function = library.Function<Int32Fn>(name);
  return function != nullptr ? function() : -1;
}

// Reads made by the reader over `ms` milliseconds.
std::uint64_t ReadsOver(int ms) {
  const std::uint64_t before = WfSimCallCount(WFSIM_READ);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return WfSimCallCount(WFSIM_READ) - before;
}

class UnloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WfSimReset();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
};

TEST_F(UnloadTest, UnloadWithoutACloseLeavesTheSessionRunningUntilItsClose) {
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    ASSERT_EQ(Call(library, "ServerStartSession"), 0);
  }
  // The host has let go; the reader runs on in the library, still mapped.
  EXPECT_EQ(WfSimWaitForCalls(WFSIM_READ, WfSimCallCount(WFSIM_READ) + 1,
                              qvctx_test::kWaitMs),
            0);
  EXPECT_TRUE(LibraryIsMapped());
  {
    qvctx_test::LoadedLibrary library(qvctx_test::LibraryPath("qvctx"));
    ASSERT_TRUE(library.ok());
    // The same instance: its start's exit code, not a fresh load's 1.
    EXPECT_EQ(Call(library, "ServerCloseSession"), 0);
    EXPECT_EQ(ReadsOver(50), 0u);
    EXPECT_EQ(WfSimOpenHandleCount(), 0u);
    EXPECT_EQ(WfSimHeldBufferCount(), 0u);
  }
  EXPECT_FALSE(LibraryIsMapped());
}

}  // namespace
