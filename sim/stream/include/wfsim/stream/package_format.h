// Whole packages of the "qvctx" channel as the client end handles them: the
// header fields it looks at, its framing test and the packages it builds.
// The wire format itself (the 34-byte header, its offsets and limits, the
// little-endian loads and stores) is protocol/wire_format.h's, and everything
// here uses its names.
#ifndef QVCTX_SIM_STREAM_PACKAGE_FORMAT_H_
#define QVCTX_SIM_STREAM_PACKAGE_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/wire_format.h"

namespace wfsim {

// The fields of a header that the client end looks at.
struct HeaderFields {
  std::uint16_t fnc_typ;
  std::uint16_t magic;
  std::uint32_t message_id;
  std::uint32_t datasize;
};

// Reads the fields from the first qvctx::kPackageHeadSize bytes at `bytes`.
HeaderFields ReadHeader(const std::uint8_t* bytes);

// True when the fields can begin a package: the client end's test
// (qvctx::ClientFramesPackage).
bool FramesPackage(const HeaderFields& header);

// A whole package: header (usReserved 0, datasize and ulLength2 its length,
// the 16 bytes at `time_stamps` or zeros when null) and payload. The caller
// makes sure qvctx::kPackageHeadSize + payload_length fits 32 bits. Throws
// std::bad_alloc.
std::vector<std::uint8_t> BuildPackage(std::uint16_t fnc_typ,
                                       std::uint32_t message_id,
                                       const std::uint8_t* time_stamps,
                                       const std::uint8_t* payload,
                                       std::uint32_t payload_length);

}  // namespace wfsim

#endif  // QVCTX_SIM_STREAM_PACKAGE_FORMAT_H_
