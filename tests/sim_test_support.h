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

#include "qvctx/wfapi64_sim.h"
#include "recording_format.h"
#include "wfapi64_operations.h"

namespace sim_test {

// Long enough never to fire on a loaded machine; a passing wait ends at once.
constexpr std::uint32_t kWaitMs = 10000;
constexpr std::uint32_t kCurrentSession = 0xFFFFFFFFu;
constexpr std::size_t kHeaderSize = 34;

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

inline std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint16_t Load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void Store32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// A package as the server sends it: FNCTyp 0, magic 10001, datasize and
// ulLength2 its length, the time stamps 1 to 4, then `payload`.
inline std::vector<std::uint8_t> FarFunction(std::uint32_t message_id,
                                             const std::string& payload) {
  std::vector<std::uint8_t> package(kHeaderSize + payload.size(), 0);
  const auto length = static_cast<std::uint32_t>(package.size());
  package[2] = 0x11;
  package[3] = 0x27;
  Store32(&package[4], message_id);
  Store32(&package[8], length);
  Store32(&package[12], length);
  for (std::uint32_t i = 0; i < 4; ++i) Store32(&package[18 + 4 * i], i + 1);
  std::memcpy(package.data() + kHeaderSize, payload.data(), payload.size());
  return package;
}

// Everything the server wrote and nobody took yet.
inline std::vector<std::uint8_t> TakeAllWritten() {
  std::vector<std::uint8_t> bytes(
      static_cast<std::size_t>(WfSimWrittenAvailable()));
  const std::uint32_t taken =
      WfSimTakeWritten(bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  bytes.resize(taken);
  return bytes;
}

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
