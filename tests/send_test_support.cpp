#include "send_test_support.h"

#include <algorithm>

#include "qvctx/qvctx.h"
#include "support/test_support.h"

namespace send_test {

namespace {

// Where the library stamps, and with what, for a package of `length` bytes.
void Stamp(std::vector<std::uint8_t>& bytes, std::uint32_t length) {
  Store32Within(bytes, 0, 0x27110000u);
  Store32Within(bytes, 8, length);
  Store32Within(bytes, 12, length);
  for (std::size_t at = 16; at < 18 && at < bytes.size(); ++at) bytes[at] = 0;
}

using qvctx_test::Chomp;

}  // namespace

std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    // A period of 251 bytes: never a multiple of the chunk size, so a chunk
    // lost or sent twice shows.
    bytes[i] = static_cast<std::uint8_t>(1 + (i + seed) % 251);
  }
  return bytes;
}

void Store32Within(std::vector<std::uint8_t>& bytes, std::size_t offset,
                   std::uint32_t value) {
  for (std::size_t i = 0; i < 4 && offset + i < bytes.size(); ++i) {
    bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
}

std::vector<std::uint8_t> HostPackage(std::uint32_t message_id,
                                      std::size_t length,
                                      std::uint32_t first_stamp) {
  std::vector<std::uint8_t> bytes = Pattern(length, message_id);
  for (std::size_t at = 0; at < kPackageHeadSize && at < length; ++at) {
    bytes[at] = static_cast<std::uint8_t>(0xA5 ^ at);  // junk
  }
  Store32Within(bytes, 4, message_id);
  for (std::uint32_t i = 0; i < 4; ++i) {
    Store32Within(bytes, 18 + 4 * i, first_stamp + i);
  }
  return bytes;
}

std::vector<std::uint8_t> Stamped(const std::vector<std::uint8_t>& host) {
  std::vector<std::uint8_t> bytes = host;
  Stamp(bytes, static_cast<std::uint32_t>(host.size()));
  return bytes;
}

std::vector<std::string> FarFunctionLines(const std::vector<std::uint8_t>& host,
                                          std::int32_t length) {
  std::vector<std::uint8_t> staged(kPackageHeadSize, 0);
  if (length > 0) {
    std::copy(host.begin(),
              host.begin() +
                  std::min<std::size_t>({kPackageHeadSize, host.size(),
                                         static_cast<std::size_t>(length)}),
              staged.begin());
  }
  Stamp(staged, static_cast<std::uint32_t>(length));
  const std::uint32_t message_id = LoadLe32(&staged[4]);
  return {
      "Info: CtxRegisterFarFunction: Send Data to client",
      "Info: -->> CtxRegisterFarFunction::messageID = " +
          std::to_string(message_id),
      "Info: -->> CtxRegisterFarFunction::functionID = " +
          std::to_string(message_id & 0xFF),
      "Info: -->> CtxRegisterFarFunction::datasize = " +
          std::to_string(LoadLe32(&staged[8])),
      "Info: -->> CtxRegisterFarFunction::ulTimeStamps[0] = " +
          std::to_string(LoadLe32(&staged[18])),
  };
}

std::vector<std::string> BulkLines(std::uint32_t length) {
  std::vector<std::string> lines = {
      "Info: ServerSendBulkData:: send data Length=" +
      std::to_string(static_cast<std::int32_t>(length))};
  for (const std::uint32_t chunk : ChunkSizes(length)) {
    lines.push_back("Info: ServerSendBulkData:: send  length=" +
                    std::to_string(chunk) + " bytes to client");
  }
  return lines;
}

std::vector<std::uint32_t> ChunkSizes(std::uint32_t length) {
  std::vector<std::uint32_t> sizes;
  for (std::uint32_t sent = 0; sent < length; sent += kChunk) {
    sizes.push_back(std::min(kChunk, length - sent));
  }
  return sizes;
}

void SessionTest::SetUp() {
  SessionFixture::SetUp();
  ASSERT_EQ(ServerStartSession(), 0);
  ASSERT_EQ(WfSimOpenHandleCount(), 1u);
  Mark();
}

void SessionTest::Mark() {
  log_mark_ = qvctx_test::ReadLogLines().size();
  record_mark_ = WfSimWriteRecordCount();
  TakeAllWritten();
}

std::vector<std::string> SessionTest::LinesSinceMark() const {
  const std::vector<std::string> all = qvctx_test::ReadLogLines();
  std::vector<std::string> lines;
  for (std::size_t i = log_mark_; i < all.size(); ++i) {
    const std::string line = Chomp(all[i]);
    const std::size_t tab = line.find(" \t");
    const std::string message =
        tab == std::string::npos ? line : line.substr(tab + 2);
    // The reader thread starts logging at its own pace.
    if (message.rfind("ServerDataProccesorThread", 0) == 0) continue;
    lines.push_back(line.substr(0, line.find(' ')) + ": " + message);
  }
  return lines;
}

std::vector<WfSimWriteRecord> SessionTest::RecordsSinceMark() const {
  std::vector<WfSimWriteRecord> records;
  WfSimWriteRecord record{};
  for (std::uint32_t i = record_mark_; WfSimGetWriteRecord(i, &record) == 0;
       ++i) {
    records.push_back(record);
  }
  return records;
}

std::vector<std::uint32_t> SessionTest::RequestedSinceMark() const {
  std::vector<std::uint32_t> requested;
  for (const WfSimWriteRecord& record : RecordsSinceMark()) {
    requested.push_back(record.requested);
  }
  return requested;
}

}  // namespace send_test
