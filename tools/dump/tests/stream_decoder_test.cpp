#include "stream_decoder.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "test_streams.h"
#include "wfsim/stream/package_format.h"

namespace {

using qvdump::Direction;
using qvdump::Flag;
using qvdump::Record;
using qvdump::StreamDecoder;
using Bytes = std::vector<std::uint8_t>;

// Every field of a record, so two decodings can be compared as text.
std::string Describe(const Record& record) {
  std::ostringstream text;
  text << (record.kind == Record::Kind::kSkipped ? "run" : "package") << " @"
       << record.offset << " len " << record.length << " hdr "
       << record.header_bytes << " typ " << record.fnc_typ << " magic "
       << record.magic << " id " << record.message_id << " size "
       << record.datasize << " stamp " << record.first_stamp << " flag "
       << static_cast<int>(record.flag) << " expected " << record.expected
       << " preview";
  for (std::uint8_t byte : record.preview) text << ' ' << int{byte};
  return text.str();
}

// Decodes `stream` fed in pieces of `piece` bytes (0: all at once).
std::vector<std::string> Decode(Direction direction, const Bytes& stream,
                                std::size_t piece) {
  StreamDecoder decoder(direction);
  std::vector<std::string> described;
  const std::size_t step = piece == 0 ? stream.size() : piece;
  for (std::size_t at = 0; at < stream.size(); at += step) {
    const std::size_t count = std::min(step, stream.size() - at);
    decoder.Feed(stream.data() + at, count);
    for (const Record& record : decoder.TakeRecords()) {
      described.push_back(Describe(record));
    }
  }
  decoder.Finish();
  for (const Record& record : decoder.TakeRecords()) {
    described.push_back(Describe(record));
  }
  return described;
}

std::vector<Record> DecodeAll(Direction direction, const Bytes& stream) {
  StreamDecoder decoder(direction);
  decoder.Feed(stream.data(), stream.size());
  decoder.Finish();
  return decoder.TakeRecords();
}

Bytes Package(std::uint16_t fnc_typ, std::uint32_t message_id,
              std::uint32_t payload_length, std::uint8_t fill = 0x5A) {
  const Bytes payload(payload_length, fill);
  return wfsim::BuildPackage(fnc_typ, message_id, nullptr, payload.data(),
                             payload_length);
}

void Append(Bytes* stream, const Bytes& bytes) {
  stream->insert(stream->end(), bytes.begin(), bytes.end());
}

TEST(StreamDecoderChunks, AnyPieceSizeGivesTheSameRecords) {
  for (Direction direction :
       {Direction::kClientToServer, Direction::kServerToClient}) {
    for (const Bytes& stream :
         {qvdump_test::ClientStream(), qvdump_test::ServerStream()}) {
      const std::vector<std::string> whole = Decode(direction, stream, 0);
      ASSERT_FALSE(whole.empty());
      for (std::size_t piece : {1, 2, 3, 5, 11, 12, 13, 33, 34, 35, 64}) {
        EXPECT_EQ(Decode(direction, stream, piece), whole)
            << "pieces of " << piece;
      }
    }
  }
}

TEST(StreamDecoderChunks, PackageSplitAcrossFeedsComesOutWhole) {
  const Bytes package = Package(qvctx::kEventType, 0x0102, 100);
  StreamDecoder decoder(Direction::kClientToServer);
  decoder.Feed(package.data(), 20);  // inside the header
  EXPECT_TRUE(decoder.TakeRecords().empty());
  decoder.Feed(package.data() + 20, 40);  // inside the payload
  EXPECT_TRUE(decoder.TakeRecords().empty());
  decoder.Feed(package.data() + 60, package.size() - 60);
  const std::vector<Record> records = decoder.TakeRecords();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].offset, 0u);
  EXPECT_EQ(records[0].length, 134u);
  EXPECT_EQ(records[0].message_id, 0x0102u);
  EXPECT_EQ(records[0].flag, Flag::kNone);
  EXPECT_EQ(records[0].preview, Bytes(16, 0x5A));
  decoder.Finish();
  EXPECT_TRUE(decoder.TakeRecords().empty());
}

TEST(StreamDecoderChunks, LargePackageInPiecesKeepsOnlyItsPreview) {
  const std::uint32_t payload = 3u << 20;
  Bytes stream = Package(qvctx::kResultType, 77, payload, 0x11);
  Append(&stream, Package(qvctx::kEventType, 78, 1));
  StreamDecoder decoder(Direction::kClientToServer);
  std::vector<Record> records;
  for (std::size_t at = 0; at < stream.size(); at += 65536) {
    const std::size_t count = std::min<std::size_t>(65536, stream.size() - at);
    decoder.Feed(stream.data() + at, count);
    for (Record& record : decoder.TakeRecords()) records.push_back(record);
  }
  decoder.Finish();
  for (Record& record : decoder.TakeRecords()) records.push_back(record);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].length, qvctx::kPackageHeadSize + payload);
  EXPECT_EQ(records[0].datasize, qvctx::kPackageHeadSize + payload);
  EXPECT_EQ(records[0].preview, Bytes(16, 0x11));
  EXPECT_EQ(records[1].offset, qvctx::kPackageHeadSize + payload);
  EXPECT_EQ(decoder.summary().bytes, stream.size());
  EXPECT_EQ(decoder.summary().packages, 2u);
  EXPECT_EQ(decoder.summary().flagged, 0u);
}

TEST(StreamDecoderResync, SkipsToTheNextHeaderWithAUsableDatasize) {
  Bytes stream = {1, 2, 3};
  Append(&stream, Package(qvctx::kEventType, 0, 4));  // messageID 0: no header
  Bytes short_header = Package(qvctx::kEventType, 5, 0);
  short_header[8] = 10;  // datasize 10: no place to fall into step
  Append(&stream, short_header);
  Append(&stream, Package(qvctx::kResultType, 6, 2));
  const std::vector<Record> records =
      DecodeAll(Direction::kClientToServer, stream);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].kind, Record::Kind::kSkipped);
  EXPECT_EQ(records[0].offset, 0u);
  EXPECT_EQ(records[0].length, 3u + 38u + 34u);
  EXPECT_EQ(records[0].flag, Flag::kRefusedNotHeader);
  EXPECT_EQ(records[0].preview.size(), 16u);
  EXPECT_EQ(records[0].preview[0], 1);
  EXPECT_EQ(records[1].offset, 75u);
  EXPECT_EQ(records[1].message_id, 6u);
  EXPECT_EQ(records[1].flag, Flag::kNone);
}

TEST(StreamDecoderResync, BytesBehindAnUnusableHeaderAreTheNextFront) {
  Bytes zero = Package(qvctx::kEventType, 5, 0);
  zero[8] = 0;
  Bytes huge = Package(qvctx::kEventType, 6, 0);
  huge[11] = 0xFF;  // datasize far above the receive buffer
  Bytes stream = zero;
  Append(&stream, huge);
  Append(&stream, Package(qvctx::kHighestFncTyp, 7, 1));
  const std::vector<Record> records =
      DecodeAll(Direction::kClientToServer, stream);
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].flag, Flag::kInvalidDatasize);
  EXPECT_EQ(records[0].length, 34u);
  EXPECT_EQ(records[1].offset, 34u);
  EXPECT_EQ(records[1].flag, Flag::kNeverCompletes);
  EXPECT_EQ(records[2].offset, 68u);
  EXPECT_EQ(records[2].flag, Flag::kInvalidHeader);
  EXPECT_EQ(records[2].length, 35u);
  EXPECT_EQ(records[2].preview, Bytes(1, 0x5A));

  const std::vector<Record> server =
      DecodeAll(Direction::kServerToClient, stream);
  ASSERT_EQ(server.size(), 3u);
  EXPECT_EQ(server[0].flag, Flag::kUnframedDatasize);
  EXPECT_EQ(server[1].flag, Flag::kUnframedDatasize);
  EXPECT_EQ(server[2].flag, Flag::kUnusualType);
}

// The reader's buffer holds at most 10485725 bytes (its capacity less the
// header area, exclusive), so a package one byte longer never completes
// there, while the simulator's client still takes it.
TEST(StreamDecoderDirections, LargestPackageEachEndCanComplete) {
  for (std::uint32_t datasize : {10485725u, 10485726u}) {
    Bytes header = Package(qvctx::kResultType, 9, 0);
    for (int i = 0; i < 4; ++i) {
      header[8 + i] = static_cast<std::uint8_t>(datasize >> (8 * i));
    }
    const std::vector<Record> client =
        DecodeAll(Direction::kClientToServer, header);
    ASSERT_EQ(client.size(), 1u);
    EXPECT_EQ(client[0].flag,
              datasize == 10485725u ? Flag::kIncomplete : Flag::kNeverCompletes)
        << datasize;
    const std::vector<Record> server =
        DecodeAll(Direction::kServerToClient, header);
    ASSERT_EQ(server.size(), 1u);
    EXPECT_EQ(server[0].flag, Flag::kIncomplete) << datasize;
  }
}

TEST(StreamDecoderDirections, EachEndJudgesByItsOwnRules) {
  Bytes stream = Package(qvctx::kFarFunctionType, 0, 1);
  Append(&stream, Package(qvctx::kFarFunctionType, 3, 0));
  Append(&stream, Package(qvctx::kEventType, 4, 0));

  const std::vector<Record> client =
      DecodeAll(Direction::kClientToServer, stream);
  ASSERT_EQ(client.size(), 3u);
  EXPECT_EQ(client[0].kind, Record::Kind::kSkipped);
  EXPECT_EQ(client[0].length, 35u);
  EXPECT_EQ(client[1].flag, Flag::kInvalidHeader);
  EXPECT_EQ(client[2].flag, Flag::kNone);

  const std::vector<Record> server =
      DecodeAll(Direction::kServerToClient, stream);
  ASSERT_EQ(server.size(), 3u);
  EXPECT_EQ(server[0].kind, Record::Kind::kPackage);
  EXPECT_EQ(server[0].flag, Flag::kNoAnswer);
  EXPECT_EQ(server[1].flag, Flag::kNone);
  EXPECT_EQ(server[2].flag, Flag::kUnusualType);
}

TEST(StreamDecoderEnd, CutOffFrontsAreIncompleteOrSkipped) {
  const Bytes package = Package(qvctx::kEventType, 9, 30);
  struct Case {
    std::size_t kept;        // bytes of the package the stream holds
    std::uint64_t expected;  // what the incomplete flag names
  };
  for (const Case& cut : {Case{1, 34}, Case{5, 34}, Case{11, 34}, Case{12, 64},
                          Case{33, 64}, Case{34, 64}, Case{63, 64}}) {
    const Bytes stream(package.begin(), package.begin() + cut.kept);
    const std::vector<Record> records =
        DecodeAll(Direction::kClientToServer, stream);
    ASSERT_EQ(records.size(), 1u) << cut.kept;
    EXPECT_EQ(records[0].kind, Record::Kind::kPackage) << cut.kept;
    EXPECT_EQ(records[0].flag, Flag::kIncomplete) << cut.kept;
    EXPECT_EQ(records[0].length, cut.kept);
    EXPECT_EQ(records[0].expected, cut.expected) << cut.kept;
    EXPECT_EQ(records[0].header_bytes, std::min<std::size_t>(cut.kept, 34));
  }

  // A tail that already shows no header: FNCTyp 9, or the wrong magic.
  for (const Bytes& tail : {Bytes{9, 0, 0x11}, Bytes{1, 0, 0x12, 0x27, 9}}) {
    const std::vector<Record> records =
        DecodeAll(Direction::kClientToServer, tail);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].kind, Record::Kind::kSkipped);
    EXPECT_EQ(records[0].length, tail.size());
  }

  // Garbage, then a header cut off by the end: the run stops where it begins.
  Bytes stream = {0xEE, 0xEE};
  stream.insert(stream.end(), package.begin(), package.begin() + 6);
  const std::vector<Record> records =
      DecodeAll(Direction::kClientToServer, stream);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].length, 2u);
  EXPECT_EQ(records[1].offset, 2u);
  EXPECT_EQ(records[1].flag, Flag::kIncomplete);
  EXPECT_EQ(records[1].expected, 34u);
}

TEST(StreamDecoderEnd, SummaryAndFeedingAfterTheEnd) {
  StreamDecoder empty(Direction::kServerToClient);
  empty.Finish();
  EXPECT_TRUE(empty.TakeRecords().empty());
  EXPECT_EQ(empty.summary().bytes, 0u);
  const std::uint8_t byte = 0;
  EXPECT_THROW(empty.Feed(&byte, 1), std::logic_error);

  const Bytes client = qvdump_test::ClientStream();
  StreamDecoder decoder(Direction::kClientToServer);
  decoder.Feed(client.data(), client.size());
  decoder.Finish();
  std::vector<std::uint64_t> offsets;
  std::vector<Flag> flags;
  for (const Record& record : decoder.TakeRecords()) {
    offsets.push_back(record.offset);
    flags.push_back(record.flag);
  }
  EXPECT_EQ(offsets, (std::vector<std::uint64_t>{0, 54, 93, 103, 141, 175, 209,
                                                 243, 279, 353, 387}));
  EXPECT_EQ(flags, (std::vector<Flag>{
                       Flag::kNone, Flag::kNone, Flag::kRefusedNotHeader,
                       Flag::kInvalidHeader, Flag::kInvalidDatasize,
                       Flag::kInvalidDatasize, Flag::kInvalidHeader,
                       Flag::kRefusedNotHeader, Flag::kNone,
                       Flag::kNeverCompletes, Flag::kIncomplete}));
  EXPECT_EQ(decoder.summary().packages, 9u);
  EXPECT_EQ(decoder.summary().bytes, client.size());
  EXPECT_EQ(decoder.summary().flagged, 8u);
  EXPECT_EQ(decoder.summary().skipped_bytes, 46u);
}

}  // namespace
