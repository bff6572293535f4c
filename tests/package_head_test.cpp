#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "protocol/wire_format.h"

namespace qvctx {
namespace {

// A header that passes the receiver's test, built by the public struct so the
// test also checks that the byte accessors agree with PACKAGEHEAD.
PACKAGEHEAD ValidHead() {
  PACKAGEHEAD head{};
  head.FNCTyp = 1;
  head.usMagic = 10001;
  head.messageID = 0x12345678;
  head.datasize = 0x00010203;
  head.ulLength2 = 0xCAFEBABE;
  head.usReserved = 0xBEEF;
  head.ulTimeStamps[0] = 0x11223344;
  head.ulTimeStamps[1] = 0x55667788;
  head.ulTimeStamps[2] = 0x99AABBCC;
  head.ulTimeStamps[3] = 0xDDEEFF00;
  return head;
}

// The header copied to an odd address, so every multi-byte read is
// misaligned (UBSan reports any cast-based read there).
class OddHead {
 public:
  explicit OddHead(const PACKAGEHEAD& head) {
    std::memcpy(bytes_.data() + 1, &head, sizeof(head));
  }
  std::uint8_t* front() { return bytes_.data() + 1; }

 private:
  alignas(8) std::array<std::uint8_t, 1 + kPackageHeadSize + 7> bytes_{};
};

TEST(PackageHeadTest, FieldsReadLittleEndianAtAnyAddress) {
  OddHead odd(ValidHead());
  const std::uint8_t* front = odd.front();
  EXPECT_EQ(front[2], 0x11);  // the magic on the wire: 0x11, 0x27
  EXPECT_EQ(front[3], 0x27);
  EXPECT_EQ(ReadFncTyp(front), 1);
  EXPECT_EQ(ReadMagic(front), 10001);
  EXPECT_EQ(ReadMessageId(front), 0x12345678u);
  EXPECT_EQ(ReadDatasize(front), 0x00010203u);
  EXPECT_EQ(ReadTimeStamp(front, 0), 0x11223344u);
  EXPECT_EQ(ReadTimeStamp(front, 1), 0x55667788u);
  EXPECT_EQ(ReadTimeStamp(front, 2), 0x99AABBCCu);
  EXPECT_EQ(ReadTimeStamp(front, 3), 0xDDEEFF00u);
  EXPECT_EQ(front[kTimeStampsOffset], 0x44);  // lowest byte first
  EXPECT_EQ(FunctionId(ReadMessageId(front)), 0x78u);
  EXPECT_EQ(FunctionId(0xFFFFFF00u), 0u);
}

TEST(PackageHeadTest, HeaderTestFailsOnEachBadField) {
  EXPECT_TRUE(PassesHeaderTest(OddHead(ValidHead()).front()));

  for (std::uint16_t type : {0, 1, 2, 3}) {
    PACKAGEHEAD head = ValidHead();
    head.FNCTyp = type;
    EXPECT_TRUE(PassesHeaderTest(OddHead(head).front())) << "FNCTyp " << type;
  }
  for (std::uint16_t type : {4, 0x100, 0xFFFF}) {
    PACKAGEHEAD head = ValidHead();
    head.FNCTyp = type;
    EXPECT_FALSE(PassesHeaderTest(OddHead(head).front())) << "FNCTyp " << type;
  }
  for (std::uint16_t magic : {0, 10000, 10002, 0x1127, 0xFFFF}) {
    PACKAGEHEAD head = ValidHead();
    head.usMagic = magic;
    EXPECT_FALSE(PassesHeaderTest(OddHead(head).front())) << "magic " << magic;
  }
  PACKAGEHEAD no_id = ValidHead();
  no_id.messageID = 0;
  EXPECT_FALSE(PassesHeaderTest(OddHead(no_id).front()));
  // Only the whole id must be non-zero: a function id of 0 is fine.
  PACKAGEHEAD high_id = ValidHead();
  high_id.messageID = 0x80000000u;
  EXPECT_TRUE(PassesHeaderTest(OddHead(high_id).front()));

  // The fields the receiver does not read have no say, nor does datasize.
  PACKAGEHEAD ignored = ValidHead();
  ignored.datasize = 0;
  ignored.ulLength2 = 0;
  ignored.usReserved = 0xFFFF;
  std::memset(ignored.ulTimeStamps, 0xFF, sizeof(ignored.ulTimeStamps));
  EXPECT_TRUE(PassesHeaderTest(OddHead(ignored).front()));

  const std::uint8_t zero_header[kPackageHeadSize] = {};
  EXPECT_FALSE(PassesHeaderTest(zero_header));
}

TEST(PackageHeadTest, CompletenessComparesUnsigned) {
  EXPECT_TRUE(IsComplete(34, 34));
  EXPECT_FALSE(IsComplete(33, 34));
  EXPECT_TRUE(IsComplete(35, 34));
  EXPECT_TRUE(IsComplete(0, 0));
  // Signed comparisons would turn these around.
  EXPECT_FALSE(IsComplete(10485725, 0x80000000u));
  EXPECT_TRUE(IsComplete(0x80000000u, 0x7FFFFFFFu));
  EXPECT_FALSE(IsComplete(1, 0xFFFFFFFFu));
}

TEST(PackageHeadTest, StampReplacesTypeMagicAndLengthsOnly) {
  std::array<std::uint8_t, 1 + 300> staged{};
  staged.fill(0xAB);
  std::uint8_t* package = staged.data() + 1;  // misaligned on purpose
  StampForSending(package, 300);

  const std::uint8_t stamp[] = {0x00, 0x00, 0x11, 0x27};
  EXPECT_EQ(std::memcmp(package, stamp, sizeof(stamp)), 0);
  EXPECT_EQ(ReadFncTyp(package), 0);
  EXPECT_EQ(ReadMagic(package), kPackageMagic);
  EXPECT_EQ(ReadDatasize(package), 300u);
  EXPECT_EQ(LoadLe32(package + kLength2Offset), 300u);
  EXPECT_EQ(LoadLe16(package + kReservedOffset), 0);
  // The host's message id, time stamps and payload are untouched.
  EXPECT_EQ(ReadMessageId(package), 0xABABABABu);
  for (std::size_t i = 0; i < kTimeStampCount; ++i) {
    EXPECT_EQ(ReadTimeStamp(package, i), 0xABABABABu) << "stamp " << i;
  }
  for (std::size_t i = kPackageHeadSize; i < 300; ++i) {
    ASSERT_EQ(package[i], 0xAB) << "payload byte " << i;
  }
  EXPECT_EQ(staged[0], 0xAB);  // nothing written before the package

  // A length with all four bytes distinct lands in order.
  StampForSending(package, 0x0A0B0C0Du);
  const std::uint8_t length[] = {0x0D, 0x0C, 0x0B, 0x0A};
  EXPECT_EQ(std::memcmp(package + kDatasizeOffset, length, 4), 0);
  EXPECT_EQ(std::memcmp(package + kLength2Offset, length, 4), 0);
}

}  // namespace
}  // namespace qvctx
