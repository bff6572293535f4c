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
constexpr std::size_t kTimeStampsOffset = 18;
constexpr std::size_t kTimeStampsSize = 16;
constexpr std::uint16_t kMagic = 10001;
// The largest package the server can take in (its receive buffer).
constexpr std::uint32_t kMaxPackageSize = 10485760;

constexpr std::uint16_t kFarFunction = 0;  // a call from the server
constexpr std::uint16_t kEvent = 1;        // an event from the client
constexpr std::uint16_t kResult = 2;       // a result from the client
constexpr std::uint16_t kLastType = 3;     // the highest type of a header

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
