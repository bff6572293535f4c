// The reader against the byte stream the client sends: packages cut into
// pieces, several packages in one piece, a burst, a front that is no header,
// the function types that are not dispatched, empty callback slots and a
// datasize below the header size. The simulator plays the client.
#include <cstdint>
#include <string>
#include <vector>

#include "reader_test_support.h"

namespace reader_test {
namespace {

class ReaderStreamTest : public ReaderTest {};

TEST_F(ReaderStreamTest, PackageInManyPiecesArrivesWhole) {
  StartRecording();
  WfSimSetReadPieceSize(7);
  const Bytes event = MakePackage(1, 0x1234, 5000);
  const Bytes result = MakePackage(2, 0x5678, 3001);
  const std::uint64_t reads_before = WfSimCallCount(WFSIM_READ);
  Send(event);
  Send(result);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].event);
  EXPECT_EQ(got[0].length, event.size());
  EXPECT_EQ(got[0].bytes, event);
  EXPECT_FALSE(got[1].event);
  EXPECT_EQ(got[1].length, result.size());
  EXPECT_EQ(got[1].bytes, result);
  // Seven bytes a read: the two packages took at least this many reads.
  EXPECT_GE(WfSimCallCount(WFSIM_READ) - reads_before,
            (event.size() + result.size()) / 7);

  CloseAndCheckReleased();
  const std::vector<std::string> log = LogMessages();
  EXPECT_EQ(CountOf(log, ResponseLine(1, 0x1234)), 1);  // fncID 52
  EXPECT_EQ(CountOf(log, ResponseLine(2, 0x5678)), 1);
  EXPECT_NE(IndexOf(log,
                    "ServerDataProccesorThread:: response to FNCTyp=1 - "
                    "msgID=4660 fncID=52"),
            -1);
}

TEST_F(ReaderStreamTest, PackageIsDispatchedByThePollThatCompletesIt) {
  StartRecording();
  WfSimSetReadPieceSize(50);
  // 105 + 134 bytes: the third read (bytes 100 to 149) completes the first
  // package and brings the first 45 bytes of the second.
  Bytes stream = MakePackage(1, 1, 71);
  const Bytes second = MakePackage(2, 2, 100);
  Append(stream, second);
  Send(stream);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].bytes, MakePackage(1, 1, 71));
  EXPECT_EQ(got[0].pending, stream.size() - 150);
  EXPECT_EQ(got[1].bytes, second);
  EXPECT_EQ(got[1].pending, 0u);
  EXPECT_EQ(got[1].reads, got[0].reads + 2);
}

TEST_F(ReaderStreamTest, TwoPackagesInOnePieceArriveEachWithItsLength) {
  StartRecording();
  Bytes piece = MakePackage(1, 0x101, 40);
  const Bytes result = MakePackage(2, 0x202, 90);
  Append(piece, result);
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].event);
  EXPECT_EQ(got[0].length, 74u);
  EXPECT_EQ(got[0].bytes, MakePackage(1, 0x101, 40));
  EXPECT_FALSE(got[1].event);
  EXPECT_EQ(got[1].length, 124u);
  EXPECT_EQ(got[1].bytes, result);
  // Both went out after the one read that brought them.
  EXPECT_EQ(got[0].reads, got[1].reads);
}

TEST_F(ReaderStreamTest, ManyPackagesInOnePieceAreDrainedBeforeTheNextPoll) {
  StartRecording();
  constexpr std::uint32_t kCount = 30;
  Bytes piece;
  for (std::uint32_t i = 0; i < kCount; ++i) {
    Append(piece, MakePackage(i % 2 == 0 ? 1 : 2, 100 + i, 30));
  }
  ASSERT_LE(piece.size(), 2044u);  // one read takes all of it
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(kCount));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), kCount);
  for (std::uint32_t i = 0; i < kCount; ++i) {
    EXPECT_EQ(MessageIdOf(got[i]), 100 + i);
    EXPECT_EQ(got[i].event, i % 2 == 0);
    EXPECT_EQ(got[i].length, 64u);
    EXPECT_EQ(got[i].reads, got[0].reads) << "a poll came between packages";
  }
}

TEST_F(ReaderStreamTest, BurstOfTenThousandArrivesInFullAndInOrder) {
  StartRecording();
  constexpr std::size_t kCount = 10000;
  Bytes burst;
  burst.reserve(kCount * 100);
  for (std::uint32_t i = 0; i < kCount; ++i) {
    Append(burst, MakePackage(1, i + 1, 66));
  }
  Send(burst);
  ASSERT_TRUE(Recorder::Get().WaitFor(kCount));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), kCount);
  for (std::size_t i = 0; i < kCount; ++i) {
    const auto at = static_cast<std::ptrdiff_t>(i * 100);
    ASSERT_EQ(got[i].length, 100u);
    ASSERT_EQ(Bytes(burst.begin() + at, burst.begin() + at + 100), got[i].bytes)
        << "package " << i;
  }
  CloseAndCheckReleased();
  // Nothing was lost to an overflow on the way.
  for (const std::string& message : LogMessages()) {
    EXPECT_EQ(message.find("overflow"), std::string::npos) << message;
  }
}

TEST_F(ReaderStreamTest, FrontThatIsNoHeaderHoldsEverythingBackUntilOverflow) {
  StartRecording();
  // Reads of 2044 bytes fill the 10 MiB buffer: 5130 are taken (10485720
  // bytes) and the 5131st does not fit, so it empties the buffer. Every
  // package behind the bad front is lost with it; the package after the
  // 5131st read starts on an empty buffer and arrives.
  constexpr std::uint32_t kHeldBytes = 5131u * 2044u;
  Bytes stream = MakePackage(1, 5, 0, /*magic=*/10002);
  std::uint32_t id = 1000;
  while (stream.size() + 1000 <= kHeldBytes) {
    Append(stream, MakePackage(1, id++, 966));
  }
  stream.resize(kHeldBytes, 0);
  const Bytes after = MakePackage(1, 999999, 100);
  Append(stream, after);
  Send(stream);
  ASSERT_TRUE(Recorder::Get().WaitFor(1));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].bytes, after);
  const std::vector<LogLine> lines = LogLines();
  int overflows = 0;
  for (const LogLine& line : lines) {
    if (line.message.find("overflow") == std::string::npos) continue;
    ++overflows;
    EXPECT_EQ(line.level, "ERROR");
    EXPECT_EQ(line.message,
              "AppendData::error buffer overflow --> pos=10485720, "
              "length=2044");
  }
  EXPECT_EQ(overflows, 1);
}

TEST_F(ReaderStreamTest, FunctionTypesZeroAndThreeAreLoggedAndConsumed) {
  StartRecording();
  Bytes piece = MakePackage(0, 0x0101, 10);
  Append(piece, MakePackage(3, 0x0302, 0));
  Send(piece);
  Send(MakePackage(1, 0x0403, 5));
  ASSERT_TRUE(Recorder::Get().WaitFor(1));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(MessageIdOf(got[0]), 0x0403u);

  const std::vector<LogLine> lines = LogLines();
  std::vector<std::string> messages;
  for (const LogLine& line : lines) messages.push_back(line.message);
  const int first = IndexOf(messages, ResponseLine(0, 0x0101));
  ASSERT_NE(first, -1);
  ASSERT_LE(first + 4, static_cast<int>(lines.size()) - 1);
  EXPECT_EQ(lines[first].level, "Info");
  EXPECT_EQ(lines[first + 1].level, "ERROR");
  EXPECT_EQ(lines[first + 1].message,
            "ServerDataProccesorThread:: INVALID HEADER ");
  EXPECT_EQ(lines[first + 2].message, ResponseLine(3, 0x0302));
  EXPECT_EQ(lines[first + 3].level, "ERROR");
  EXPECT_EQ(lines[first + 3].message,
            "ServerDataProccesorThread:: INVALID HEADER ");
  EXPECT_EQ(lines[first + 4].message, ResponseLine(1, 0x0403));
  EXPECT_EQ(CountOf(messages, ResponseLine(0, 0x0101)), 1);
  EXPECT_EQ(CountOf(messages, ResponseLine(3, 0x0302)), 1);
}

TEST_F(ReaderStreamTest, EmptySlotConsumesThePackageWithoutACall) {
  ASSERT_EQ(ServerRegisterEventCallBackFunction(&RecordEvent), 0);
  ASSERT_EQ(ServerStartSession(), 0);
  Bytes piece = MakePackage(2, 0x21, 3);
  Append(piece, MakePackage(1, 0x22, 3));
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(1));

  // Now the other way round, registered while the reader runs.
  ASSERT_EQ(ServerRegisterResultCallBackFunction(&RecordResult), 0);
  ASSERT_EQ(ServerRegisterEventCallBackFunction(nullptr), 0);
  piece = MakePackage(1, 0x23, 3);
  Append(piece, MakePackage(2, 0x24, 3));
  Send(piece);
  ASSERT_TRUE(Recorder::Get().WaitFor(2));

  const std::vector<Delivery> got = Recorder::Get().deliveries();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].event);
  EXPECT_EQ(MessageIdOf(got[0]), 0x22u);
  EXPECT_FALSE(got[1].event);
  EXPECT_EQ(MessageIdOf(got[1]), 0x24u);

  // The response line only, and the next package follows at once.
  const std::vector<std::string> log = LogMessages();
  const int dropped_result = IndexOf(log, ResponseLine(2, 0x21));
  ASSERT_NE(dropped_result, -1);
  EXPECT_EQ(log[dropped_result + 1], ResponseLine(1, 0x22));
  const int dropped_event = IndexOf(log, ResponseLine(1, 0x23));
  ASSERT_NE(dropped_event, -1);
  EXPECT_EQ(log[dropped_event + 1], ResponseLine(2, 0x24));
}

TEST_F(ReaderStreamTest, DatasizeBelowTheHeaderSizeEmptiesTheBuffer) {
  StartRecording();
  for (const std::uint32_t datasize : {20u, 0u}) {
    SCOPED_TRACE(datasize);
    // The bad header and a good package behind it arrive in one read; the
    // clear drops both.
    Bytes piece = MakePackage(1, 0x31, 0);
    StoreLe32(&piece[8], datasize);
    Append(piece, MakePackage(1, 0x32, 100));
    Send(piece);
    const std::string line = "ServerDataProccesorThread:: INVALID DATASIZE=" +
                             std::to_string(datasize) + " - buffer cleared";
    ASSERT_TRUE(WaitForLogMessage(line));
    ASSERT_EQ(WfSimWaitUntilRead(kWaitMs), 0);

    const std::size_t before = Recorder::Get().count();
    const Bytes next = MakePackage(1, 0x33 + datasize, 10);
    Send(next);
    ASSERT_TRUE(Recorder::Get().WaitFor(before + 1));
    const std::vector<Delivery> got = Recorder::Get().deliveries();
    ASSERT_EQ(got.size(), before + 1);
    EXPECT_EQ(got.back().bytes, next);

    const std::vector<LogLine> lines = LogLines();
    for (const LogLine& entry : lines) {
      if (entry.message == line) {
        EXPECT_EQ(entry.level, "ERROR");
      }
    }
    const std::vector<std::string> log = LogMessages();
    EXPECT_EQ(CountOf(log, line), 1);
    EXPECT_EQ(CountOf(log, ResponseLine(1, 0x31)), 0);
    EXPECT_EQ(CountOf(log, ResponseLine(1, 0x32)), 0);
  }
}

}  // namespace
}  // namespace reader_test
