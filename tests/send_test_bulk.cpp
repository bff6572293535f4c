// ServerSendBulkData on a working channel: the chunks, the limits, the
// refusals.
#include <cstdint>
#include <string>
#include <vector>

#include "qvctx/qvctx.h"
#include "send_test_support.h"

namespace {

using send_test::BulkLines;
using send_test::ChunkSizes;
using send_test::Pattern;
using send_test::TakeAllWritten;

class BulkSendTest : public send_test::SessionTest {};

TEST_F(BulkSendTest, SendsInChunksOfAtMost2010Bytes) {
  struct Case {
    std::uint32_t length;
    std::vector<std::uint32_t> writes;
  };
  const Case cases[] = {
      {1, {1}},          {2009, {2009}},       {2010, {2010}},
      {2011, {2010, 1}}, {4020, {2010, 2010}}, {4021, {2010, 2010, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Mark();
    const std::vector<std::uint8_t> data = Pattern(c.length, c.length);
    EXPECT_EQ(ServerSendBulkData(data.data(), c.length), 0);
    EXPECT_EQ(RequestedSinceMark(), c.writes);
    EXPECT_EQ(TakeAllWritten(), data);
    std::vector<std::string> expected = {
        "Info: ServerSendBulkData:: send data Length=" +
        std::to_string(c.length)};
    for (const std::uint32_t chunk : c.writes) {
      expected.push_back("Info: ServerSendBulkData:: send  length=" +
                         std::to_string(chunk) + " bytes to client");
    }
    EXPECT_EQ(LinesSinceMark(), expected);
  }
}

TEST_F(BulkSendTest, LengthZeroWritesNothingAndSucceeds) {
  const std::uint8_t byte = 7;
  EXPECT_EQ(ServerSendBulkData(&byte, 0), 0);
  EXPECT_EQ(ServerSendBulkData(nullptr, 0), 0);
  EXPECT_TRUE(RecordsSinceMark().empty());
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
  const std::string line = "Info: ServerSendBulkData:: send data Length=0";
  EXPECT_EQ(LinesSinceMark(), (std::vector<std::string>{line, line}));
}

TEST_F(BulkSendTest, AcceptsOneByteLessThan10MiB) {
  const std::uint32_t length = 10485759;
  const std::vector<std::uint8_t> data = Pattern(length, 3);
  EXPECT_EQ(ServerSendBulkData(data.data(), length), 0);
  EXPECT_EQ(RequestedSinceMark(), ChunkSizes(length));
  EXPECT_EQ(RequestedSinceMark().back(), 1599u);
  EXPECT_EQ(TakeAllWritten(), data);
  EXPECT_EQ(LinesSinceMark(), BulkLines(length));
}

TEST_F(BulkSendTest, RefusesTenMiBAndMoreWithOnlyItsErrorLine) {
  const std::vector<std::uint8_t> data = Pattern(10485760, 5);
  EXPECT_EQ(ServerSendBulkData(data.data(), 10485760), 1);
  // A length past 2^31 shows as a negative number.
  EXPECT_EQ(ServerSendBulkData(data.data(), 0xFFFFFFFFu), 1);
  EXPECT_EQ(ServerSendBulkData(nullptr, 0x80000000u), 1);
  EXPECT_TRUE(RecordsSinceMark().empty());
  EXPECT_EQ(LinesSinceMark(),
            (std::vector<std::string>{
                "ERROR: ServerSendBulkData:: Data size is to big!  "
                "Length=10485760",
                "ERROR: ServerSendBulkData:: Data size is to big!  Length=-1",
                "ERROR: ServerSendBulkData:: Data size is to big!  "
                "Length=-2147483648"}));
}

TEST_F(BulkSendTest, RefusesNullDataWithBytesToSend) {
  EXPECT_EQ(ServerSendBulkData(nullptr, 5), 1);
  EXPECT_EQ(ServerSendBulkData(nullptr, 10485759), 1);
  EXPECT_TRUE(RecordsSinceMark().empty());
  EXPECT_EQ(LinesSinceMark(),
            (std::vector<std::string>{
                "ERROR: ServerSendBulkData:: no data to send!  Length=5",
                "ERROR: ServerSendBulkData:: no data to send!  "
                "Length=10485759"}));
}

TEST_F(BulkSendTest, SendsTheBytesAsTheyAreWithoutAHeader) {
  // A header-like start is not stamped: bulk data goes out untouched.
  std::vector<std::uint8_t> data = Pattern(3000, 9);
  data[0] = 0xFF;
  data[2] = 0xFF;
  const std::vector<std::uint8_t> before = data;
  EXPECT_EQ(ServerSendBulkData(data.data(), 3000), 0);
  EXPECT_EQ(TakeAllWritten(), before);
  EXPECT_EQ(data, before);
}

}  // namespace
