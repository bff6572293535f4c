// Sending over a channel that fails: the budget of 100 failed writes, the
// pause after each, retries from the same byte, partial and empty writes.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "qvctx/qvctx.h"
#include "send_test_support.h"
#include "support/test_support.h"

namespace {

using send_test::FarFunctionLines;
using send_test::HostPackage;
using send_test::Pattern;
using send_test::Stamped;
using send_test::TakeAllWritten;

constexpr std::uint32_t kFaultCode = 31;

std::string ChunkLine(std::uint32_t chunk) {
  return "Info: ServerSendBulkData:: send  length=" + std::to_string(chunk) +
         " bytes to client";
}

const char kFailedLine[] = "ERROR: ServerSendBulkData:: send Failed - error=31";
const char kTookNothingLine[] = "ERROR: ServerSendBulkData:: send took 0 bytes";
const char kTooManyLine[] =
    "ERROR: ServerSendBulkData:: send Failed- to much Error";

// The lines of a bulk send of `length` bytes (at most one chunk) whose every
// write fails with `failure_line`.
std::vector<std::string> GivingUpLines(std::uint32_t length,
                                       const std::string& failure_line) {
  std::vector<std::string> lines = {
      "Info: ServerSendBulkData:: send data Length=" + std::to_string(length)};
  for (int i = 0; i < 101; ++i) {
    lines.push_back(ChunkLine(length));
    lines.push_back(failure_line);
  }
  lines.emplace_back(kTooManyLine);
  return lines;
}

std::size_t CountOf(const std::vector<std::string>& lines,
                    const std::string& line) {
  return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), line));
}

class SendFailureTest : public send_test::SessionTest {};

TEST_F(SendFailureTest, EveryWriteFailingEndsTheCallAtThe101stFailure) {
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 0, WFSIM_FOREVER, kFaultCode), 0);
  const std::vector<std::uint8_t> data = Pattern(100, 1);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ServerSendBulkData(data.data(), 100), 1);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(LinesSinceMark(), GivingUpLines(100, kFailedLine));
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 101u);
  const std::vector<WfSimWriteRecord> records = RecordsSinceMark();
  ASSERT_EQ(records.size(), 101u);
  for (const WfSimWriteRecord& record : records) {
    EXPECT_EQ(record.requested, 100u);
    EXPECT_EQ(record.succeeded, 0);
    EXPECT_EQ(record.error, kFaultCode);
  }
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
  // 101 pauses of 1 ms; a loose floor only, never an upper bound.
  EXPECT_GE(elapsed, std::chrono::milliseconds(90));
}

TEST_F(SendFailureTest, FarFunctionReportsAFailedWrite) {
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 0, WFSIM_FOREVER, kFaultCode), 0);
  // Below 2010 bytes: one write, no retry, no error line.
  std::vector<std::uint8_t> host = HostPackage(42, 100, 0);
  EXPECT_EQ(ServerRegisterFarFunction(host.data(), 100), 1);
  EXPECT_EQ(RequestedSinceMark(), (std::vector<std::uint32_t>{100}));
  EXPECT_EQ(LinesSinceMark(), FarFunctionLines(host, 100));
  // From 2010 on: the bulk sender's budget.
  Mark();
  host = HostPackage(43, 2010, 0);
  EXPECT_EQ(ServerRegisterFarFunction(host.data(), 2010), 1);
  EXPECT_EQ(RecordsSinceMark().size(), 101u);
  std::vector<std::string> expected = FarFunctionLines(host, 2010);
  const std::vector<std::string> giving_up = GivingUpLines(2010, kFailedLine);
  expected.insert(expected.end(), giving_up.begin(), giving_up.end());
  EXPECT_EQ(LinesSinceMark(), expected);
}

TEST_F(SendFailureTest, HundredFailuresAreSurvived) {
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 1, 100, kFaultCode), 0);
  const std::uint32_t length = 3 * 2010;
  const std::vector<std::uint8_t> data = Pattern(length, 2);
  EXPECT_EQ(ServerSendBulkData(data.data(), length), 0);
  EXPECT_EQ(TakeAllWritten(), data);
  EXPECT_EQ(RecordsSinceMark().size(), 103u);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 100u);
  const std::vector<std::string> lines = LinesSinceMark();
  EXPECT_EQ(CountOf(lines, kFailedLine), 100u);
  EXPECT_EQ(CountOf(lines, kTooManyLine), 0u);
}

TEST_F(SendFailureTest, FailuresSeparatedBySuccessesAddUp) {
  // Writes 1-2 succeed, 3-52 fail, 53-54 succeed, then every write takes
  // nothing: the 101st failure (write 105) ends the call after 4 chunks.
  const std::uint32_t length = 10 * 2010;
  const std::ptrdiff_t delivered = std::ptrdiff_t{4} * 2010;
  const std::vector<std::uint8_t> data = Pattern(length, 4);
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 2, 50, kFaultCode), 0);
  WfSimZeroWrites(4, WFSIM_FOREVER);
  EXPECT_EQ(ServerSendBulkData(data.data(), length), 1);
  EXPECT_EQ(RecordsSinceMark().size(), 105u);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 101u);  // 50 failed, 51 empty
  const std::vector<std::string> lines = LinesSinceMark();
  EXPECT_EQ(CountOf(lines, kFailedLine), 50u);
  EXPECT_EQ(CountOf(lines, kTookNothingLine), 51u);
  EXPECT_EQ(lines.back(), kTooManyLine);
  EXPECT_EQ(TakeAllWritten(),
            std::vector<std::uint8_t>(data.begin(), data.begin() + delivered));

  // The same with one empty write less stays within the budget.
  Mark();
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 2, 50, kFaultCode), 0);
  WfSimZeroWrites(4, 50);
  EXPECT_EQ(ServerSendBulkData(data.data(), length), 0);
  EXPECT_EQ(TakeAllWritten(), data);
  EXPECT_EQ(RecordsSinceMark().size(), 110u);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 100u);
}

TEST_F(SendFailureTest, FailedWriteInTheMiddleLosesAndRepeatsNoByte) {
  const std::uint32_t length = 5 * 2010 + 7;
  const std::vector<std::uint8_t> data = Pattern(length, 6);
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 2, 3, kFaultCode), 0);
  EXPECT_EQ(ServerSendBulkData(data.data(), length), 0);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 3u);
  EXPECT_EQ(TakeAllWritten(), data);
  EXPECT_EQ(RequestedSinceMark(),
            (std::vector<std::uint32_t>{2010, 2010, 2010, 2010, 2010, 2010,
                                        2010, 2010, 7}));
  const std::vector<std::string> lines = LinesSinceMark();
  EXPECT_EQ(CountOf(lines, kFailedLine), 3u);
  // Each failure is followed by the same chunk again.
  const auto first = std::find(lines.begin(), lines.end(), kFailedLine);
  ASSERT_NE(first, lines.end());
  EXPECT_EQ(*(first + 1), ChunkLine(2010));

  // A far-function package cut by failures reaches the client whole.
  Mark();
  const std::vector<std::uint8_t> host = HostPackage(77, 9000, 5);
  ASSERT_EQ(WfSimFailCalls(WFSIM_WRITE, 1, 2, kFaultCode), 0);
  EXPECT_EQ(ServerRegisterFarFunction(host.data(), 9000), 0);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 2u);
  EXPECT_EQ(TakeAllWritten(), Stamped(host));
}

TEST_F(SendFailureTest, PartialWritesMoveOnByWhatWasTaken) {
  for (const std::uint32_t cap : {20u, 700u, 1u << 10, 2009u}) {
    SCOPED_TRACE(cap);
    Mark();
    WfSimSetWriteCap(cap);
    const std::uint32_t length = 4020;
    const std::vector<std::uint8_t> data = Pattern(length, cap);
    EXPECT_EQ(ServerSendBulkData(data.data(), length), 0);
    EXPECT_EQ(TakeAllWritten(), data);
    // Each write offers the rest, at most a chunk, and takes at most the cap.
    std::vector<std::uint32_t> offered;
    std::vector<std::string> expected = {
        "Info: ServerSendBulkData:: send data Length=4020"};
    for (std::uint32_t sent = 0; sent < length;) {
      const std::uint32_t chunk = std::min(length - sent, 2010u);
      offered.push_back(chunk);
      expected.push_back(ChunkLine(chunk));
      sent += std::min(chunk, cap);
    }
    EXPECT_EQ(RequestedSinceMark(), offered);
    EXPECT_EQ(LinesSinceMark(), expected);
    // A far-function package too, cut inside its stamped header and after.
    const std::vector<std::uint8_t> host = HostPackage(78, length, cap);
    EXPECT_EQ(ServerRegisterFarFunction(host.data(), length), 0);
    EXPECT_EQ(TakeAllWritten(), Stamped(host));
  }
}

TEST_F(SendFailureTest, WritesThatTakeNothingEndWithinTheBudget) {
  WfSimZeroWrites(0, WFSIM_FOREVER);
  const std::vector<std::uint8_t> data = Pattern(100, 8);
  EXPECT_EQ(ServerSendBulkData(data.data(), 100), 1);
  EXPECT_EQ(LinesSinceMark(), GivingUpLines(100, kTookNothingLine));
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 101u);
  EXPECT_EQ(RecordsSinceMark().size(), 101u);
  EXPECT_EQ(WfSimWrittenTotal(), 0u);

  // A few of them in the middle cost nothing but a retry.
  Mark();
  WfSimZeroWrites(1, 5);
  const std::uint32_t length = 3 * 2010;
  const std::vector<std::uint8_t> more = Pattern(length, 9);
  EXPECT_EQ(ServerSendBulkData(more.data(), length), 0);
  EXPECT_EQ(TakeAllWritten(), more);
  EXPECT_EQ(RecordsSinceMark().size(), 8u);
  EXPECT_EQ(WfSimFaultsFired(WFSIM_WRITE), 5u);
  EXPECT_EQ(CountOf(LinesSinceMark(), kTookNothingLine), 5u);
}

TEST_F(SendFailureTest, SendsAfterTheCloseFailOnTheNullHandle) {
  ServerCloseSession();
  qvctx_test::RemoveLogFile();  // the next writer starts the file afresh
  Mark();
  const std::vector<std::uint8_t> host = HostPackage(9, 100, 0);
  EXPECT_EQ(ServerRegisterFarFunction(host.data(), 100), 1);
  EXPECT_EQ(ServerSendBulkData(host.data(), 100), 1);
  const std::vector<WfSimWriteRecord> records = RecordsSinceMark();
  ASSERT_EQ(records.size(), 102u);
  for (const WfSimWriteRecord& record : records) {
    EXPECT_EQ(record.succeeded, 0);
    EXPECT_EQ(record.error, WFSIM_ERROR_INVALID_HANDLE);
  }
  EXPECT_EQ(WfSimWrittenTotal(), 0u);
  EXPECT_EQ(CountOf(LinesSinceMark(),
                    "ERROR: ServerSendBulkData:: send Failed - error=6"),
            101u);
}

}  // namespace
