// The wire format of the "qvctx" channel, shared by the library, the
// simulator, the tools and the tests: the package header, the sizes and
// limits of the package transport, little-endian loads and stores, and the
// tests each end applies to a header.
//
// Layout of the 34-byte header (little-endian, no padding):
//   offset  0   2 bytes  FNCTyp        0 call, 1 event, 2 result, 3 not
//                                      dispatched
//   offset  2   2 bytes  usMagic       always 10001 (0x2711)
//   offset  4   4 bytes  messageID     its low byte is the function id
//   offset  8   4 bytes  datasize      whole package, header included
//   offset 12   4 bytes  ulLength2     the sender repeats datasize
//   offset 16   2 bytes  usReserved    the sender writes 0
//   offset 18  16 bytes  ulTimeStamps  four stamps, passed through untouched
//
// The time stamps are not 4-byte aligned, so every field is read and written
// byte by byte; no pointer into a package is ever cast to a wider type.
#ifndef QVCTX_SRC_PROTOCOL_WIRE_FORMAT_H_
#define QVCTX_SRC_PROTOCOL_WIRE_FORMAT_H_

#include <cstddef>
#include <cstdint>

#include "qvctx/qvctx.h"

namespace qvctx {

// Sizes and limits of the package transport.
inline constexpr std::uint32_t kPackageHeadSize = 34;
inline constexpr std::uint16_t kPackageMagic = 10001;
// The function types (FNCTyp).
inline constexpr std::uint16_t kFarFunctionType = 0;  // a call to the client
inline constexpr std::uint16_t kEventType = 1;        // an event from it
inline constexpr std::uint16_t kResultType = 2;       // a result from it
// The highest function type that a header may carry.
inline constexpr std::uint16_t kHighestFncTyp = 3;
// The shift buffer's block, and the bound that every write must stay under:
// a write of n bytes at offset p needs n < kShiftBufferWriteLimit - p.
inline constexpr std::uint32_t kShiftBufferCapacity = 10485760;
inline constexpr std::uint32_t kShiftBufferWriteLimit =
    kShiftBufferCapacity - kPackageHeadSize;
// The largest package the reader can ever hold: its buffer takes an append
// only while the total stays below the write limit. The largest far-function
// call the library sends is the same size.
inline constexpr std::uint32_t kReaderLargestPackage =
    kShiftBufferWriteLimit - 1;
// One channel read takes at most this many bytes, into a buffer of twice the
// size.
inline constexpr std::uint32_t kChannelReadSize = 2044;
inline constexpr std::uint32_t kReadBufferSize = 2 * kChannelReadSize;
// Long sends go out in chunks of this size.
inline constexpr std::uint32_t kSendChunkSize = 2010;
// The bulk sender refuses this many bytes or more.
inline constexpr std::uint32_t kBulkSendLimit = kShiftBufferCapacity;
// FNCTyp 0 and the magic, as one little-endian word at offset 0.
inline constexpr std::uint32_t kSendStampWord = 0x27110000;

// Field offsets.
inline constexpr std::size_t kFncTypOffset = 0;
inline constexpr std::size_t kMagicOffset = 2;
inline constexpr std::size_t kMessageIdOffset = 4;
inline constexpr std::size_t kDatasizeOffset = 8;
inline constexpr std::size_t kLength2Offset = 12;
inline constexpr std::size_t kReservedOffset = 16;
inline constexpr std::size_t kTimeStampsOffset = 18;
inline constexpr std::size_t kTimeStampCount = 4;
inline constexpr std::size_t kTimeStampsSize = 4 * kTimeStampCount;

static_assert(kShiftBufferWriteLimit == 10485726, "write limit");
static_assert(kReaderLargestPackage == 10485725, "largest package");
static_assert(kReadBufferSize == 4088, "read buffer size");
static_assert(sizeof(PACKAGEHEAD) == kPackageHeadSize,
              "PACKAGEHEAD must be 34 bytes");
static_assert(offsetof(PACKAGEHEAD, FNCTyp) == kFncTypOffset, "FNCTyp");
static_assert(offsetof(PACKAGEHEAD, usMagic) == kMagicOffset, "usMagic");
static_assert(offsetof(PACKAGEHEAD, messageID) == kMessageIdOffset,
              "messageID");
static_assert(offsetof(PACKAGEHEAD, datasize) == kDatasizeOffset, "datasize");
static_assert(offsetof(PACKAGEHEAD, ulLength2) == kLength2Offset, "ulLength2");
static_assert(offsetof(PACKAGEHEAD, usReserved) == kReservedOffset,
              "usReserved");
static_assert(offsetof(PACKAGEHEAD, ulTimeStamps) == kTimeStampsOffset,
              "ulTimeStamps");
static_assert(kTimeStampsOffset + kTimeStampsSize == kPackageHeadSize,
              "the time stamps end the header");

// Little-endian loads and stores at any address.
inline std::uint16_t LoadLe16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t LoadLe32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void StoreLe16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void StoreLe32(std::uint8_t* p, std::uint32_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
  p[2] = static_cast<std::uint8_t>(value >> 16);
  p[3] = static_cast<std::uint8_t>(value >> 24);
}

// The fields of the header that begins at `front`.
inline std::uint16_t ReadFncTyp(const std::uint8_t* front) {
  return LoadLe16(front + kFncTypOffset);
}
inline std::uint16_t ReadMagic(const std::uint8_t* front) {
  return LoadLe16(front + kMagicOffset);
}
inline std::uint32_t ReadMessageId(const std::uint8_t* front) {
  return LoadLe32(front + kMessageIdOffset);
}
inline std::uint32_t ReadDatasize(const std::uint8_t* front) {
  return LoadLe32(front + kDatasizeOffset);
}
// ulTimeStamps[index], index 0 to 3.
inline std::uint32_t ReadTimeStamp(const std::uint8_t* front,
                                   std::size_t index) {
  return LoadLe32(front + kTimeStampsOffset + 4 * index);
}

// The function id that the logs report: the low byte of the message id.
inline std::uint32_t FunctionId(std::uint32_t message_id) {
  return message_id & 0xFFu;
}

// The receiver's test of the bytes at its front: a known function type, a
// message id and the magic. It reads 34 bytes whatever is buffered.
inline bool PassesHeaderTest(const std::uint8_t* front) {
  return ReadFncTyp(front) <= kHighestFncTyp && ReadMessageId(front) != 0 &&
         ReadMagic(front) == kPackageMagic;
}

// The client end's test of a header the server sent: the magic, a known
// function type and a datasize from a whole header up to the receive block.
// A header that fails leaves the client end out of step with the stream.
inline bool ClientFramesPackage(std::uint16_t fnc_typ, std::uint16_t magic,
                                std::uint32_t datasize) {
  return magic == kPackageMagic && fnc_typ <= kHighestFncTyp &&
         datasize >= kPackageHeadSize && datasize <= kShiftBufferCapacity;
}

// A package of `datasize` bytes is complete once `pos` bytes are buffered.
inline bool IsComplete(std::uint32_t pos, std::uint32_t datasize) {
  return pos >= datasize;
}

// Stamps a package of `length` bytes staged for sending: FNCTyp 0 and the
// magic as one word, datasize and ulLength2 the length, usReserved 0. The
// message id and the time stamps keep the host's bytes.
inline void StampForSending(std::uint8_t* staged, std::uint32_t length) {
  StoreLe32(staged + kFncTypOffset, kSendStampWord);
  StoreLe32(staged + kDatasizeOffset, length);
  StoreLe32(staged + kLength2Offset, length);
  StoreLe16(staged + kReservedOffset, 0);
}

}  // namespace qvctx

#endif  // QVCTX_SRC_PROTOCOL_WIRE_FORMAT_H_
