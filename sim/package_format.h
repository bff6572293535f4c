// The package format of the "qvctx" channel as the client end sees it: a
// 34-byte little-endian header (FNCTyp, usMagic, messageID, datasize,
// ulLength2, usReserved, four time stamps) followed by the payload.
#ifndef QVCTX_SIM_PACKAGE_FORMAT_H_
#define QVCTX_SIM_PACKAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wfsim {

constexpr std::size_t kHeaderSize = 34;
constexpr std::size_t kFncTypOffset = 0;
constexpr std::size_t kMagicOffset = 2;
constexpr std::size_t kMessageIdOffset = 4;
constexpr std::size_t kDatasizeOffset = 8;
constexpr std::size_t kLength2Offset = 12;
constexpr std::size_t kReservedOffset = 16;
constexpr std::size_t kTimeStampsOffset = 18;
constexpr std::size_t kTimeStampsSize = 16;
constexpr std::uint16_t kMagic = 10001;
// The server's receive buffer; no package is larger.
constexpr std::uint32_t kMaxPackageSize = 10485760;
// The largest package qvctx's reader can ever hold: its buffer takes an
// append only while the total stays below the capacity less the header area.
// The largest far-function call it sends is the same size.
constexpr std::uint32_t kReaderLargestPackage =
    kMaxPackageSize - static_cast<std::uint32_t>(kHeaderSize) - 1;

constexpr std::uint16_t kFarFunction = 0;  // a call from the server
constexpr std::uint16_t kEvent = 1;        // an event from the client
constexpr std::uint16_t kResult = 2;       // a result from the client
constexpr std::uint16_t kLastType = 3;     // the highest type of a header

// Little-endian loads and stores at any address: the time stamps are not
// aligned, so no field is read through a wider pointer.
inline std::uint16_t Load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}
inline void Store16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void Store32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The fields of a header that the client end looks at.
struct HeaderFields {
  std::uint16_t fnc_typ;
  std::uint16_t magic;
  std::uint32_t message_id;
  std::uint32_t datasize;
};

// Reads the fields from the first kHeaderSize bytes at `bytes`.
HeaderFields ReadHeader(const std::uint8_t* bytes);

// True when the fields can begin a package: the magic, a known type and a
// datasize from kHeaderSize to kMaxPackageSize.
bool FramesPackage(const HeaderFields& header);

// A whole package: header (usReserved 0, datasize and ulLength2 its length,
// the 16 bytes at `time_stamps` or zeros when null) and payload. The caller
// makes sure kHeaderSize + payload_length fits 32 bits. Throws
// std::bad_alloc.
std::vector<std::uint8_t> BuildPackage(std::uint16_t fnc_typ,
                                       std::uint32_t message_id,
                                       const std::uint8_t* time_stamps,
                                       const std::uint8_t* payload,
                                       std::uint32_t payload_length);

}  // namespace wfsim

#endif  // QVCTX_SIM_PACKAGE_FORMAT_H_
