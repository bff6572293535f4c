// ServerRegisterFarFunction on a working channel: the stamp, the single write
// below 2010 bytes (34 the shortest), the bulk path from 2010 on, and the
// refused packages.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "qvctx/qvctx.h"
#include "send_test_support.h"

namespace {

using send_test::BulkLines;
using send_test::ChunkSizes;
using send_test::FarFunctionLines;
using send_test::HostPackage;
using send_test::Stamped;
using send_test::TakeAllWritten;

// A message id and time stamps with the top bit set, so "%lu" must print
// them unsigned.
constexpr std::uint32_t kMessageId = 0x89ABCDEFu;
constexpr std::uint32_t kFirstStamp = 0xFEDCBA98u;

std::vector<std::string> Joined(std::vector<std::string> first,
                                const std::vector<std::string>& second) {
  first.insert(first.end(), second.begin(), second.end());
  return first;
}

class FarFunctionSendTest : public send_test::SessionTest {
 protected:
  // Sends a host package of `length` bytes and checks what every call must
  // give: result 0, the stamped package on the wire, the host's bytes as
  // they were.
  std::vector<std::uint8_t> SendAndCheck(std::size_t length) {
    const std::vector<std::uint8_t> host =
        HostPackage(kMessageId, length, kFirstStamp);
    std::vector<std::uint8_t> package = host;
    EXPECT_EQ(ServerRegisterFarFunction(package.data(),
                                        static_cast<std::int32_t>(length)),
              0);
    EXPECT_EQ(package, host) << "the host's bytes changed";
    EXPECT_EQ(TakeAllWritten(), Stamped(host));
    return host;
  }
};

TEST_F(FarFunctionSendTest, BelowChunkSizeGoesOutInOneWrite) {
  for (const std::size_t length : {34u, 100u, 2009u}) {
    SCOPED_TRACE(length);
    Mark();
    const std::vector<std::uint8_t> host = SendAndCheck(length);
    EXPECT_EQ(RequestedSinceMark(),
              (std::vector<std::uint32_t>{static_cast<std::uint32_t>(length)}));
    EXPECT_EQ(LinesSinceMark(),
              FarFunctionLines(host, static_cast<std::int32_t>(length)));
  }
}

TEST_F(FarFunctionSendTest, FromChunkSizeOnGoesThroughTheBulkSender) {
  for (const std::size_t length : {2010u, 2011u, 70001u}) {
    SCOPED_TRACE(length);
    Mark();
    const std::vector<std::uint8_t> host = SendAndCheck(length);
    const auto length32 = static_cast<std::uint32_t>(length);
    EXPECT_EQ(RequestedSinceMark(), ChunkSizes(length32));
    EXPECT_EQ(LinesSinceMark(),
              Joined(FarFunctionLines(host, static_cast<std::int32_t>(length)),
                     BulkLines(length32)));
  }
}

TEST_F(FarFunctionSendTest, StampReplacesWhateverTheHostPutInTheHeader) {
  for (const std::size_t length : {34u, 2009u, 2010u}) {
    SCOPED_TRACE(length);
    Mark();
    std::vector<std::uint8_t> host =
        HostPackage(kMessageId, length, kFirstStamp);
    std::vector<std::uint8_t> package = host;
    ASSERT_EQ(ServerRegisterFarFunction(package.data(),
                                        static_cast<std::int32_t>(length)),
              0);
    const std::vector<std::uint8_t> wire = TakeAllWritten();
    ASSERT_EQ(wire.size(), length);
    const std::vector<std::uint8_t> stamp = {0x00, 0x00, 0x11, 0x27};
    EXPECT_EQ(std::vector<std::uint8_t>(wire.begin(), wire.begin() + 4), stamp);
    EXPECT_EQ(qvctx::LoadLe32(&wire[4]), kMessageId);
    EXPECT_EQ(qvctx::LoadLe32(&wire[8]), length);
    EXPECT_EQ(qvctx::LoadLe32(&wire[12]), length);
    EXPECT_EQ(wire[16], 0);
    EXPECT_EQ(wire[17], 0);
    for (std::uint32_t i = 0; i < 4; ++i) {
      EXPECT_EQ(qvctx::LoadLe32(&wire[18 + 4 * i]), kFirstStamp + i);
    }
    EXPECT_TRUE(std::equal(wire.begin() + 34, wire.end(), host.begin() + 34));
    EXPECT_EQ(package, host);
    // The log shows the stamped values, unsigned.
    const std::vector<std::string> lines = LinesSinceMark();
    ASSERT_GE(lines.size(), 5u);
    EXPECT_EQ(lines[1],
              "Info: -->> CtxRegisterFarFunction::messageID = "
              "2309737967");
    EXPECT_EQ(lines[2], "Info: -->> CtxRegisterFarFunction::functionID = 239");
    EXPECT_EQ(lines[3], "Info: -->> CtxRegisterFarFunction::datasize = " +
                            std::to_string(length));
    EXPECT_EQ(lines[4],
              "Info: -->> CtxRegisterFarFunction::ulTimeStamps[0] = "
              "4275878552");
  }
}

TEST_F(FarFunctionSendTest, LargestPackageTheStagingBufferTakesIsSent) {
  const std::size_t length = 10485725;
  Mark();
  SendAndCheck(length);
  EXPECT_EQ(RequestedSinceMark(),
            ChunkSizes(static_cast<std::uint32_t>(length)));
}

// Lengths that the bulk sender refuses as well: the staging copy's line, the
// zeroed header's values, the bulk sender's line, and nothing read or written.
TEST_F(FarFunctionSendTest, NegativeOrHugeLengthIsRefusedTwiceNothingWritten) {
  const std::vector<std::uint8_t> host = HostPackage(kMessageId, 100, 1);
  for (const std::int32_t length :
       {-5, -1, std::numeric_limits<std::int32_t>::min(), 10485760,
        std::numeric_limits<std::int32_t>::max()}) {
    SCOPED_TRACE(length);
    Mark();
    std::vector<std::uint8_t> package = host;
    EXPECT_EQ(ServerRegisterFarFunction(package.data(), length), 1);
    EXPECT_EQ(package, host);
    EXPECT_TRUE(RecordsSinceMark().empty());
    const std::string shown = std::to_string(length);
    std::vector<std::string> expected = {
        "ERROR: OverWrite::error buffer overflow --> pos=0, length=" + shown};
    expected = Joined(expected, FarFunctionLines({}, length));
    expected.push_back(
        "ERROR: ServerSendBulkData:: Data size is to big!  Length=" + shown);
    EXPECT_EQ(LinesSinceMark(), expected);
  }
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
}

// A refused copy, or a package shorter than its header (which the client
// could not frame): one error line, result 1, nothing written.
TEST_F(FarFunctionSendTest, RefusedCopyIsNotSent) {
  const std::vector<std::uint8_t> big = HostPackage(kMessageId, 10485759, 1);
  const std::string refused =
      "ERROR: OverWrite::error buffer overflow --> pos=0, length=";
  const std::string too_short =
      "ERROR: CtxRegisterFarFunction:: package shorter than its header!  "
      "Length=";
  struct Case {
    const void* package;
    std::int32_t length;
    const std::string& line;
  };
  const Case cases[] = {
      {nullptr, 100, refused},         {nullptr, 0, refused},
      {big.data(), 0, refused},        {big.data(), 10485726, refused},
      {big.data(), 10485759, refused}, {big.data(), 1, too_short},
      {big.data(), 10, too_short},     {big.data(), 33, too_short},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.length);
    Mark();
    EXPECT_EQ(ServerRegisterFarFunction(c.package, c.length), 1);
    EXPECT_TRUE(RecordsSinceMark().empty());
    EXPECT_EQ(LinesSinceMark(),
              (std::vector<std::string>{c.line + std::to_string(c.length)}));
  }
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
}

}  // namespace
