// What the sending tests share: a fixture that opens a real session on the
// simulator around each test, the sender lines of the log, the simulator's
// write records, and the packages a host lays out.
#ifndef QVCTX_TESTS_SEND_TEST_SUPPORT_H_
#define QVCTX_TESTS_SEND_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/wire_format.h"
#include "qvctx/wfapi64_sim.h"
#include "support/session_fixture.h"
#include "support/test_support.h"

namespace send_test {

using qvctx::kPackageHeadSize;
constexpr std::uint32_t kChunk = qvctx::kSendChunkSize;
using qvctx_test::kWaitMs;

// Bytes 0, 1, 2, ... shifted by `seed`, never a run of zeros.
std::vector<std::uint8_t> Pattern(std::size_t size, std::uint32_t seed);

using qvctx::LoadLe32;
// Stores the bytes of `value` that fall inside `bytes` from `offset` on.
void Store32Within(std::vector<std::uint8_t>& bytes, std::size_t offset,
                   std::uint32_t value);

// A package as a host lays it out: junk where the library stamps (offsets 0 to
// 3 and 8 to 17), `message_id` at 4, the time stamps `first_stamp` to
// `first_stamp` + 3, then a patterned payload; cut to `length` bytes.
std::vector<std::uint8_t> HostPackage(std::uint32_t message_id,
                                      std::size_t length,
                                      std::uint32_t first_stamp);

// A package the way it must leave the library: the host's bytes with FNCTyp 0,
// magic 10001, datasize and ulLength2 the length and usReserved 0, as far as
// they fall inside the package.
std::vector<std::uint8_t> Stamped(const std::vector<std::uint8_t>& host);

// The five lines a far-function call logs for a package laid out as `host`:
// the fields of the stamped copy, bytes beyond the package read as zero. An
// empty `host` gives the lines of a refused copy's zeroed header.
std::vector<std::string> FarFunctionLines(const std::vector<std::uint8_t>& host,
                                          std::int32_t length);

// The lines a bulk send of `length` bytes logs when every write takes all it
// is offered.
std::vector<std::string> BulkLines(std::uint32_t length);

// The requested counts of the writes that send `length` bytes in chunks.
std::vector<std::uint32_t> ChunkSizes(std::uint32_t length);

using qvctx_test::TakeAllWritten;

// The session fixture with the session started and a mark set.
class SessionTest : public qvctx_test::SessionFixture {
 protected:
  void SetUp() override;

  // Starts a new span: what was logged, recorded and written before is not
  // looked at by the three calls below.
  void Mark();
  // Lines of the log since the mark as "Info: message" or "ERROR: message",
  // without the reader thread's own.
  std::vector<std::string> LinesSinceMark() const;
  std::vector<WfSimWriteRecord> RecordsSinceMark() const;
  std::vector<std::uint32_t> RequestedSinceMark() const;

 private:
  std::size_t log_mark_ = 0;
  std::uint32_t record_mark_ = 0;
};

}  // namespace send_test

#endif  // QVCTX_TESTS_SEND_TEST_SUPPORT_H_
