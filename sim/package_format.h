// The package format of the "qvctx" channel as the client end sees it: a
// 34-byte little-endian header (FNCTyp, usMagic, messageID, datasize,
// ulLength2, usReserved, four time stamps) followed by the payload.
#ifndef QVCTX_SIM_PACKAGE_FORMAT_H_
#define QVCTX_SIM_PACKAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/wire_format.h"

namespace wfsim {

// The client end's names for the channel's wire format, which is defined once,
// in protocol/wire_format.h.
constexpr std::size_t kHeaderSize = qvctx::kPackageHeadSize;
using qvctx::kDatasizeOffset;
using qvctx::kFncTypOffset;
using qvctx::kLength2Offset;
using qvctx::kMagicOffset;
using qvctx::kMessageIdOffset;
using qvctx::kReservedOffset;
using qvctx::kTimeStampsOffset;
using qvctx::kTimeStampsSize;
constexpr std::uint16_t kMagic = qvctx::kPackageMagic;
// The server's receive buffer; no package is larger.
constexpr std::uint32_t kMaxPackageSize = qvctx::kShiftBufferCapacity;
// The largest package qvctx's reader can ever hold, and the largest
// far-function call it sends.
using qvctx::kReaderLargestPackage;

constexpr std::uint16_t kFarFunction = qvctx::kFarFunctionType;
constexpr std::uint16_t kEvent = qvctx::kEventType;
constexpr std::uint16_t kResult = qvctx::kResultType;
constexpr std::uint16_t kLastType = qvctx::kHighestFncTyp;

// Little-endian loads and stores at any address.
constexpr auto Load16 = &qvctx::LoadLe16;
constexpr auto Load32 = &qvctx::LoadLe32;
constexpr auto Store16 = &qvctx::StoreLe16;
constexpr auto Store32 = &qvctx::StoreLe32;

// The fields of a header that the client end looks at.
struct HeaderFields {
  std::uint16_t fnc_typ;
  std::uint16_t magic;
  std::uint32_t message_id;
  std::uint32_t datasize;
};

// Reads the fields from the first kHeaderSize bytes at `bytes`.
HeaderFields ReadHeader(const std::uint8_t* bytes);

// True when the fields can begin a package: the client end's test
// (qvctx::ClientFramesPackage).
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
