#include "transport/shift_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/log_file.h"
#include "protocol/wire_format.h"
#include "support/test_support.h"
#include "transport/shift_buffer_test_helper.h"

namespace qvctx {
namespace {

constexpr std::int32_t kLargestWrite = 10485725;  // the limit less one

using qvctx_test::ErrorMessages;

// Bytes 1, 2, 3, ... (mod 251, never 0), so a moved or lost byte shows.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint8_t first = 1) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>(1 + (first - 1 + i) % 251);
  }
  return bytes;
}

std::int32_t Size(const std::vector<std::uint8_t>& bytes) {
  return static_cast<std::int32_t>(bytes.size());
}

bool HeaderAreaIsZero(CShiftBuffer& buffer) {
  const std::uint8_t* data = buffer.GetData();
  for (std::uint32_t i = 0; i < kPackageHeadSize; ++i) {
    if (data[i] != 0) return false;
  }
  return true;
}

class ShiftBufferTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyLogFile();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
  void TearDown() override { DestroyLogFile(); }

  // Fills the buffer to `pos` with the pattern.
  void FillTo(std::uint32_t pos) {
    const std::vector<std::uint8_t> bytes = Pattern(pos);
    buffer_.AppendData(bytes.data(), Size(bytes));
    ASSERT_EQ(buffer_.Position(), pos);
  }

  CShiftBuffer buffer_{ProcessLogWriter()};
};

TEST_F(ShiftBufferTest, NewBufferIsEmptyAndAllZero) {
  ASSERT_NE(buffer_.GetData(), nullptr);
  EXPECT_EQ(buffer_.Position(), 0u);
  // The block is committed step by step as writes reach it; each step reads
  // zero where nothing was written: the first one now, later ones after the
  // write that reaches into them.
  const std::uint8_t* data = buffer_.GetData();
  const auto zeros = [data](std::uint32_t from, std::uint32_t to) {
    return std::count(data + from, data + to, 0) == to - from;
  };
  EXPECT_TRUE(zeros(0, kShiftBufferCommitStep));
  const std::uint32_t filled = 3 * kShiftBufferCommitStep + 1;
  FillTo(filled);
  EXPECT_TRUE(zeros(filled, 4 * kShiftBufferCommitStep));
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(ShiftBufferTest, EmptyBufferTakesTheLargestWriteAndRefusesOneMore) {
  const std::vector<std::uint8_t> largest = Pattern(kLargestWrite);
  buffer_.AppendData(largest.data(), kLargestWrite);
  EXPECT_EQ(buffer_.Position(), 10485725u);
  EXPECT_EQ(buffer_.GetData()[0], largest[0]);
  EXPECT_EQ(buffer_.GetData()[kLargestWrite - 1], largest.back());
  // The last 35 bytes of the block are never written.
  EXPECT_EQ(buffer_.GetData()[kLargestWrite], 0);
  EXPECT_TRUE(ErrorMessages().empty());

  buffer_.ClearData();
  const std::vector<std::uint8_t> too_long = Pattern(kLargestWrite + 1);
  buffer_.AppendData(too_long.data(), kLargestWrite + 1);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));
  EXPECT_EQ(
      ErrorMessages(),
      std::vector<std::string>{
          "AppendData::error buffer overflow --> pos=0, length=10485726"});
}

TEST_F(ShiftBufferTest, NearlyFullBufferTakesOneByteButNotTwo) {
  const std::uint8_t two[] = {0xEE, 0xEF};
  FillTo(10485724);
  buffer_.AppendData(two, 1);
  EXPECT_EQ(buffer_.Position(), 10485725u);
  EXPECT_EQ(buffer_.GetData()[10485724], 0xEE);
  EXPECT_TRUE(ErrorMessages().empty());

  buffer_.ClearData();
  FillTo(10485724);
  buffer_.AppendData(two, 2);
  // The refusal drops the offered bytes and everything buffered before.
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));
  EXPECT_EQ(
      ErrorMessages(),
      std::vector<std::string>{
          "AppendData::error buffer overflow --> pos=10485724, length=2"});
  // Still usable afterwards.
  buffer_.AppendData(two, 2);
  EXPECT_EQ(buffer_.Position(), 2u);
}

TEST_F(ShiftBufferTest, AppendRefusesNullZeroAndNegativeCounts) {
  const std::vector<std::uint8_t> bytes = Pattern(100);
  buffer_.AppendData(bytes.data(), 100);
  buffer_.AppendData(nullptr, 10);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));

  buffer_.AppendData(bytes.data(), 100);
  buffer_.AppendData(bytes.data(), 0);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));

  buffer_.AppendData(bytes.data(), 100);
  buffer_.AppendData(bytes.data(), -5);
  EXPECT_EQ(buffer_.Position(), 0u);

  // The most negative count must not wrap into an accepted size.
  buffer_.AppendData(bytes.data(), INT32_MIN);
  EXPECT_EQ(buffer_.Position(), 0u);

  EXPECT_EQ(ErrorMessages(),
            (std::vector<std::string>{
                "AppendData::error buffer overflow --> pos=100, length=10",
                "AppendData::error buffer overflow --> pos=100, length=0",
                "AppendData::error buffer overflow --> pos=100, length=-5",
                "AppendData::error buffer overflow --> pos=0, "
                "length=-2147483648"}));
}

TEST_F(ShiftBufferTest, ShiftKeepsTheRemainderInOrder) {
  FillTo(200);
  buffer_.ShiftData(50);
  EXPECT_EQ(buffer_.Position(), 150u);
  const std::vector<std::uint8_t> expected = Pattern(150, 51);
  EXPECT_EQ(
      std::vector<std::uint8_t>(buffer_.GetData(), buffer_.GetData() + 150),
      expected);

  // One byte more than the count is kept, not cleared.
  buffer_.ShiftData(149);
  EXPECT_EQ(buffer_.Position(), 1u);
  EXPECT_EQ(buffer_.GetData()[0], expected.back());

  // A new append lands right behind the remainder.
  const std::uint8_t next[] = {0xF0};
  buffer_.AppendData(next, 1);
  EXPECT_EQ(buffer_.GetData()[1], 0xF0);
}

// The limit counts what is buffered, wherever the front lies: an append that
// finds too little room behind a consumed front moves the bytes down first.
TEST_F(ShiftBufferTest, AppendBehindAConsumedFrontMovesTheBytesWhenNeeded) {
  FillTo(10485000);
  buffer_.ShiftData(1000);
  const std::vector<std::uint8_t> more = Pattern(1500, 7);
  buffer_.AppendData(more.data(), Size(more));
  ASSERT_EQ(buffer_.Position(), 10485500u);
  EXPECT_EQ(buffer_.GetData(), LastShiftBufferBlockForTesting());
  const std::vector<std::uint8_t> filled = Pattern(10485000);
  EXPECT_EQ(buffer_.GetData()[0], filled[1000]);
  EXPECT_EQ(buffer_.GetData()[10483999], filled.back());
  EXPECT_EQ(std::vector<std::uint8_t>(buffer_.GetData() + 10484000,
                                      buffer_.GetData() + 10485500),
            more);
  EXPECT_TRUE(ErrorMessages().empty());
  buffer_.AppendData(more.data(), 226);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_EQ(
      ErrorMessages(),
      std::vector<std::string>{
          "AppendData::error buffer overflow --> pos=10485500, length=226"});
}

// Emptied after reaching beyond its first step, the buffer gives the rest
// back when told (not before it is empty): committed again, those pages read
// zero.
TEST_F(ShiftBufferTest, EmptiedBufferGivesBackAllButItsFirstStep) {
  FillTo(3 * kShiftBufferCommitStep);
  buffer_.ReleaseUnused();
  EXPECT_EQ(buffer_.GetData()[2 * kShiftBufferCommitStep],
            Pattern(2 * kShiftBufferCommitStep + 1).back());
  buffer_.ShiftData(3 * kShiftBufferCommitStep);
  buffer_.ReleaseUnused();
  FillTo(kShiftBufferCommitStep + 1);
  const std::uint8_t* data = buffer_.GetData();
  EXPECT_EQ(std::count(data + kShiftBufferCommitStep + 1,
                       data + 2 * kShiftBufferCommitStep, 0),
            kShiftBufferCommitStep - 1);
}

TEST_F(ShiftBufferTest, ShiftOfEverythingOrMoreEmptiesTheBuffer) {
  FillTo(100);
  buffer_.ShiftData(100);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));

  FillTo(100);
  buffer_.ShiftData(0xFFFFFFFFu);
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(HeaderAreaIsZero(buffer_));

  buffer_.ShiftData(0);  // pos 0 is not above 0: a clear
  EXPECT_EQ(buffer_.Position(), 0u);
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(ShiftBufferTest, ShortRemainderLeavesStaleBytesInTheHeaderArea) {
  FillTo(40);  // bytes 1..40
  buffer_.ShiftData(30);
  ASSERT_EQ(buffer_.Position(), 10u);
  const std::uint8_t* data = buffer_.GetData();
  for (std::uint32_t i = 0; i < 10; ++i) {
    EXPECT_EQ(data[i], 31 + i) << "moved byte " << i;
  }
  // Offsets 10 to 33 keep what lay there before the move.
  for (std::uint32_t i = 10; i < kPackageHeadSize; ++i) {
    EXPECT_EQ(data[i], 1 + i) << "stale byte " << i;
  }
}

}  // namespace
}  // namespace qvctx
