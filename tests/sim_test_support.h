// What the simulator's tests share: a fixture that resets the simulator
// around each test, the thread's last-error code, and package building.
#ifndef QVCTX_TESTS_SIM_TEST_SUPPORT_H_
#define QVCTX_TESTS_SIM_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#endif

#include "protocol/wire_format.h"
#include "qvctx/wfapi64_sim.h"
#include "support/session_fixture.h"
#include "support/test_support.h"
#include "wfsim/core/wfapi64_operations.h"
#include "wfsim/recording/recording_format.h"

namespace sim_test {

using qvctx_test::kWaitMs;
constexpr std::uint32_t kCurrentSession = 0xFFFFFFFFu;
using qvctx::kPackageHeadSize;

inline std::uint32_t LastError() {
#if defined(_WIN32)
  return GetLastError();
#else
  return static_cast<std::uint32_t>(errno);
#endif
}

inline void SetLastErrorTo(std::uint32_t code) {
#if defined(_WIN32)
  SetLastError(code);
#else
  errno = static_cast<int>(code);
#endif
}

using qvctx::LoadLe16;
using qvctx::LoadLe32;
using qvctx::StoreLe32;

// A package as the server sends it: FNCTyp 0, magic 10001, datasize and
// ulLength2 its length, the time stamps 1 to 4, then `payload`.
inline std::vector<std::uint8_t> FarFunction(std::uint32_t message_id,
                                             const std::string& payload) {
  return qvctx_test::BuildPackage(
      0, message_id, std::vector<std::uint8_t>(payload.begin(), payload.end()),
      1);
}

using qvctx_test::TakeAllWritten;

// Reads once with time-out 0; the bytes read, or nothing when the read failed.
inline std::vector<std::uint8_t> ReadOnce(void* handle, std::uint32_t size) {
  std::vector<std::uint8_t> buffer(size);
  std::uint32_t count = 0;
  if (WFVirtualChannelRead(handle, 0, reinterpret_cast<char*>(buffer.data()),
                           size, &count) == 0) {
    return {};
  }
  buffer.resize(count);
  return buffer;
}

// Writes all of `bytes` in one call; the count taken, or -1 on failure.
inline std::int64_t WriteOnce(void* handle, std::vector<std::uint8_t> bytes) {
  std::uint32_t taken = 0;
  if (WFVirtualChannelWrite(handle, reinterpret_cast<char*>(bytes.data()),
                            static_cast<std::uint32_t>(bytes.size()),
                            &taken) == 0) {
    return -1;
  }
  return taken;
}

// Resets the simulator before and after each test, and opens a channel when
// the test asks for one.
class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { WfSimReset(); }
  void TearDown() override { WfSimReset(); }

  static void* OpenChannel() {
    char name[] = "qvctx";
    return WFVirtualChannelOpen(nullptr, kCurrentSession, name);
  }
};

// The channel's bytes a timed recording file holds, its chunks joined; every
// chunk's time must lie in [after, before].
inline std::vector<std::uint8_t> RecordedBytes(
    const std::string& path, std::uint64_t after = 0,
    std::uint64_t before = UINT64_MAX) {
  wfsim::RecordingReader reader;
  std::string error;
  EXPECT_TRUE(reader.Open(path, &error)) << error;
  EXPECT_TRUE(reader.timed()) << path;
  std::vector<std::uint8_t> bytes;
  wfsim::RecordedChunk chunk;
  while (reader.Next(&chunk)) {
    EXPECT_GE(chunk.micros, after) << path;
    EXPECT_LE(chunk.micros, before) << path;
    bytes.insert(bytes.end(), chunk.bytes.begin(), chunk.bytes.end());
  }
  EXPECT_FALSE(reader.truncated()) << path;
  return bytes;
}

}  // namespace sim_test

#endif  // QVCTX_TESTS_SIM_TEST_SUPPORT_H_
