#include "package_format.h"

#include <cstring>

namespace wfsim {

HeaderFields ReadHeader(const std::uint8_t* bytes) {
  return HeaderFields{
      Load16(bytes + kFncTypOffset), Load16(bytes + kMagicOffset),
      Load32(bytes + kMessageIdOffset), Load32(bytes + kDatasizeOffset)};
}

bool FramesPackage(const HeaderFields& header) {
  return qvctx::ClientFramesPackage(header.fnc_typ, header.magic,
                                    header.datasize);
}

std::vector<std::uint8_t> BuildPackage(std::uint16_t fnc_typ,
                                       std::uint32_t message_id,
                                       const std::uint8_t* time_stamps,
                                       const std::uint8_t* payload,
                                       std::uint32_t payload_length) {
  const auto length = static_cast<std::uint32_t>(kHeaderSize + payload_length);
  std::vector<std::uint8_t> package(length, 0);
  std::uint8_t* head = package.data();
  Store16(head + kFncTypOffset, fnc_typ);
  Store16(head + kMagicOffset, kMagic);
  Store32(head + kMessageIdOffset, message_id);
  Store32(head + kDatasizeOffset, length);
  Store32(head + kLength2Offset, length);  // usReserved stays 0
  if (time_stamps != nullptr) {
    std::memcpy(head + kTimeStampsOffset, time_stamps, kTimeStampsSize);
  }
  if (payload_length != 0) {
    std::memcpy(head + kHeaderSize, payload, payload_length);
  }
  return package;
}

}  // namespace wfsim
