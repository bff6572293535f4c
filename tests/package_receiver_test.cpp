#include "transport/package_receiver.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/log_file.h"
#include "protocol/wire_format.h"
#include "support/test_support.h"

namespace qvctx {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A package as the client sends it: header, then a payload of
// `datasize` - 34 bytes counting up from `seed`. A datasize below 34 gives
// the header alone.
Bytes MakePackage(std::uint16_t fnc_typ, std::uint32_t message_id,
                  std::uint32_t datasize, std::uint8_t seed = 1) {
  Bytes payload(std::max<std::uint32_t>(datasize, kPackageHeadSize) -
                kPackageHeadSize);
  for (std::size_t i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<std::uint8_t>(seed + kPackageHeadSize + i);
  }
  Bytes bytes = qvctx_test::BuildPackage(fnc_typ, message_id, payload);
  StoreLe32(bytes.data() + kDatasizeOffset, datasize);
  StoreLe32(bytes.data() + kLength2Offset, datasize);
  return bytes;
}

Bytes Concat(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

using qvctx_test::ErrorMessages;

class PackageReceiverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    DestroyLogFile();
    qvctx_test::CreateLogFolder();
    qvctx_test::RemoveLogFile();
  }
  void TearDown() override { DestroyLogFile(); }

  void Feed(const Bytes& bytes, std::size_t from = 0,
            std::size_t to = SIZE_MAX) {
    to = std::min(to, bytes.size());
    receiver_.Append(reinterpret_cast<const char*>(bytes.data()) + from,
                     static_cast<std::int32_t>(to - from));
  }

  // Drains and records every package handed out, copied while it is valid.
  std::size_t Drain(std::size_t at_most = SIZE_MAX) {
    std::size_t allowed = at_most;
    return receiver_.DrainCompletePackages(
        [this](const PackageView& package) {
          EXPECT_EQ(package.bytes, receiver_.buffer().GetData());
          EXPECT_EQ(package.size, ReadDatasize(package.bytes));
          EXPECT_EQ(package.type, ReadFncTyp(package.bytes));
          EXPECT_EQ(package.message_id, ReadMessageId(package.bytes));
          EXPECT_LE(package.size, receiver_.buffer().Position());
          delivered_.emplace_back(package.bytes, package.bytes + package.size);
        },
        [&allowed] { return allowed-- > 0; });
  }

  CPackageReceiver receiver_{ProcessLogWriter()};
  std::vector<Bytes> delivered_;
};

TEST_F(PackageReceiverTest, PackageSplitAcrossManyPiecesIsDeliveredWhole) {
  const Bytes package = MakePackage(1, 0x0101, 5000);
  // Pieces of every awkward size, including cuts inside the header.
  const std::size_t cuts[] = {1, 2, 4, 33, 34, 35, 2044, 2045, 4088, 4999};
  std::size_t from = 0;
  for (std::size_t to : cuts) {
    Feed(package, from, to);
    from = to;
    EXPECT_EQ(Drain(), 0u) << "after " << to << " bytes";
  }
  Feed(package, from);
  EXPECT_EQ(Drain(), 1u);
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0], package);
  EXPECT_EQ(receiver_.buffer().Position(), 0u);
  EXPECT_EQ(Drain(), 0u);  // consumed exactly once
}

// A front's header is read and tested once, when it is first whole: the
// magic spoiled behind the receiver's back afterwards is not seen again, also
// when a consumed package came first and the bytes moved to the start of the
// block meanwhile.
TEST_F(PackageReceiverTest, HeaderIsReadOnceAcrossPiecesAndMoves) {
  for (const std::uint32_t first_size : {0u, 1000u}) {
    const Bytes first = MakePackage(1, 0x0102, first_size);
    Bytes package = MakePackage(2, 0x0203, 3000);
    Feed(Concat(first_size != 0 ? first : Bytes(),
                Bytes(package.begin(), package.begin() + 100)));
    EXPECT_EQ(Drain(), first_size != 0 ? 1u : 0u);
    receiver_.buffer().GetData()[kMagicOffset] ^= 0xFF;
    package[kMagicOffset] ^= 0xFF;
    Feed(package, 100);
    EXPECT_EQ(Drain(), 1u);
    ASSERT_FALSE(delivered_.empty());
    EXPECT_EQ(delivered_.back(), package) << first_size;
  }
}

TEST_F(PackageReceiverTest, TwoPackagesInOnePieceAreDeliveredInOrder) {
  const Bytes first = MakePackage(1, 7, 34);  // a header alone
  const Bytes second = MakePackage(2, 8, 100, 50);
  Feed(Concat(first, second));
  EXPECT_EQ(Drain(), 2u);
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0], first);
  EXPECT_EQ(delivered_[1], second);
  EXPECT_EQ(receiver_.buffer().Position(), 0u);
}

TEST_F(PackageReceiverTest, PieceThatCompletesOneAndStartsTheNext) {
  const Bytes first = MakePackage(1, 1, 300);
  const Bytes second = MakePackage(2, 2, 300, 9);
  const Bytes stream = Concat(first, second);
  Feed(stream, 0, 200);
  EXPECT_EQ(Drain(), 0u);
  Feed(stream, 200, 400);
  EXPECT_EQ(Drain(), 1u);
  EXPECT_EQ(receiver_.buffer().Position(), 100u);
  Feed(stream, 400, 599);  // one byte short
  EXPECT_EQ(Drain(), 0u);
  Feed(stream, 599);
  EXPECT_EQ(Drain(), 1u);
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0], first);
  EXPECT_EQ(delivered_[1], second);
}

TEST_F(PackageReceiverTest, StopsDrainingWhenToldAndResumesLater) {
  const Bytes a = MakePackage(1, 1, 40);
  const Bytes b = MakePackage(1, 2, 50);
  const Bytes c = MakePackage(0, 3, 60);
  Feed(Concat(Concat(a, b), c));
  EXPECT_EQ(Drain(1), 1u);
  EXPECT_EQ(receiver_.buffer().Position(), 110u);
  EXPECT_EQ(Drain(0), 0u);
  EXPECT_EQ(Drain(), 2u);
  ASSERT_EQ(delivered_.size(), 3u);
  EXPECT_EQ(delivered_[2], c);  // every function type reaches the dispatcher
}

TEST_F(PackageReceiverTest, FrontFailingTheHeaderTestHoldsBackEverything) {
  struct Bad {
    const char* what;
    Bytes head;
  };
  std::vector<Bad> cases = {{"FNCTyp 4", MakePackage(4, 1, 34)},
                            {"message id 0", MakePackage(1, 0, 34)},
                            {"magic", MakePackage(1, 1, 34)}};
  StoreLe16(cases[2].head.data() + kMagicOffset, 10002);
  for (const Bad& bad : cases) {
    receiver_.buffer().ClearData();
    Feed(Concat(bad.head, MakePackage(1, 9, 34)));
    EXPECT_EQ(Drain(), 0u) << bad.what;
    EXPECT_EQ(receiver_.buffer().Position(), 68u) << bad.what;
  }
  EXPECT_TRUE(delivered_.empty());
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(PackageReceiverTest, DatasizeBelowTheHeaderEmptiesTheBuffer) {
  for (std::uint32_t datasize : {0u, 1u, 33u}) {
    Feed(Concat(MakePackage(1, 5, datasize), MakePackage(1, 6, 40)));
    EXPECT_EQ(Drain(), 0u) << datasize;
    EXPECT_EQ(receiver_.buffer().Position(), 0u) << datasize;
  }
  EXPECT_TRUE(delivered_.empty());
  EXPECT_EQ(
      ErrorMessages(),
      (std::vector<std::string>{
          "ServerDataProccesorThread:: INVALID DATASIZE=0 - buffer cleared",
          "ServerDataProccesorThread:: INVALID DATASIZE=1 - buffer cleared",
          "ServerDataProccesorThread:: INVALID DATASIZE=33 - buffer "
          "cleared"}));

  // The smallest valid package and what follows are handled normally.
  const Bytes smallest = MakePackage(2, 5, 34);
  Feed(Concat(smallest, MakePackage(1, 6, 40)));
  EXPECT_EQ(Drain(), 2u);
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[0], smallest);
}

// A receiver logs to the writer it is handed alone: once that writer has
// closed (its session ended), the line is dropped and no writer is opened.
TEST_F(PackageReceiverTest, LinesGoToTheHandedWriterAlone) {
  CLogFile session_writer{LogSettings{}};
  session_writer.CloseLog();
  CPackageReceiver receiver(session_writer);
  const Bytes bad = MakePackage(1, 5, 1);
  receiver.Append(reinterpret_cast<const char*>(bad.data()),
                  static_cast<std::int32_t>(bad.size()));
  PackageView package{};
  EXPECT_FALSE(receiver.Front(&package));
  EXPECT_EQ(receiver.buffer().Position(), 0u);
  EXPECT_EQ(CurrentLogFile(), nullptr);
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(PackageReceiverTest, StaleHeaderBytesNeverDecideAnything) {
  // After the first package, 9 bytes of the next one sit at the front; the
  // header area behind them still holds the first package's bytes, so the
  // datasize read there mixes a new low byte (0) with stale zeros.
  const Bytes first = MakePackage(1, 1, 34);
  const Bytes next = MakePackage(1, 2, 256);
  Feed(Concat(first, Bytes(next.begin(), next.begin() + 9)));
  EXPECT_EQ(Drain(), 1u);
  ASSERT_EQ(receiver_.buffer().Position(), 9u);
  ASSERT_EQ(ReadDatasize(receiver_.buffer().GetData()), 0u);
  ASSERT_TRUE(PassesHeaderTest(receiver_.buffer().GetData()));
  EXPECT_EQ(Drain(), 0u);
  EXPECT_EQ(receiver_.buffer().Position(), 9u);

  Feed(next, 9);
  EXPECT_EQ(Drain(), 1u);
  ASSERT_EQ(delivered_.size(), 2u);
  EXPECT_EQ(delivered_[1], next);
  EXPECT_TRUE(ErrorMessages().empty());
}

TEST_F(PackageReceiverTest, OverflowBehindAnIncompletePackageStartsAfresh) {
  // A header that promises more than the buffer can ever hold blocks until
  // the overflow empties the buffer.
  Bytes endless = MakePackage(1, 1, 34);
  StoreLe32(endless.data() + kDatasizeOffset, 0xFFFFFFFFu);
  Feed(endless);
  const Bytes filler(kChannelReadSize, 0x5A);
  std::uint32_t before = 0;
  for (int pieces = 0; pieces < 6000 && receiver_.buffer().Position() != 0;
       ++pieces) {
    before = receiver_.buffer().Position();
    Feed(filler);
    ASSERT_EQ(Drain(), 0u);
  }
  EXPECT_EQ(receiver_.buffer().Position(), 0u);
  // Refused only once the piece no longer fits under the limit.
  EXPECT_GE(before + kChannelReadSize, kShiftBufferWriteLimit);
  EXPECT_LT(before, kShiftBufferWriteLimit - 1);
  EXPECT_EQ(ErrorMessages(), std::vector<std::string>{
                                 "AppendData::error buffer overflow --> pos=" +
                                 std::to_string(before) + ", length=2044"});

  const Bytes after = MakePackage(2, 3, 100);
  Feed(after);
  EXPECT_EQ(Drain(), 1u);
  ASSERT_EQ(delivered_.size(), 1u);
  EXPECT_EQ(delivered_[0], after);
}

}  // namespace
}  // namespace qvctx
