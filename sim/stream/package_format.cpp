#include "wfsim/stream/package_format.h"

#include <cstring>

namespace wfsim {

HeaderFields ReadHeader(const std::uint8_t* bytes) {
  return HeaderFields{qvctx::ReadFncTyp(bytes), qvctx::ReadMagic(bytes),
                      qvctx::ReadMessageId(bytes), qvctx::ReadDatasize(bytes)};
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
  const auto length =
      static_cast<std::uint32_t>(qvctx::kPackageHeadSize + payload_length);
  std::vector<std::uint8_t> package(length, 0);
  std::uint8_t* head = package.data();
  qvctx::StoreLe16(head + qvctx::kFncTypOffset, fnc_typ);
  qvctx::StoreLe16(head + qvctx::kMagicOffset, qvctx::kPackageMagic);
  qvctx::StoreLe32(head + qvctx::kMessageIdOffset, message_id);
  qvctx::StoreLe32(head + qvctx::kDatasizeOffset, length);
  qvctx::StoreLe32(head + qvctx::kLength2Offset, length);  // usReserved stays 0
  if (time_stamps != nullptr) {
    std::memcpy(head + qvctx::kTimeStampsOffset, time_stamps,
                qvctx::kTimeStampsSize);
  }
  if (payload_length != 0) {
    std::memcpy(head + qvctx::kPackageHeadSize, payload, payload_length);
  }
  return package;
}

}  // namespace wfsim
