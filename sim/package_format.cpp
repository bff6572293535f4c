#include "package_format.h"

#include <cstring>

namespace wfsim {

namespace {

std::uint16_t Load16(const std::uint8_t* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

std::uint32_t Load32(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) |
         (static_cast<std::uint32_t>(p[1]) << 8) |
         (static_cast<std::uint32_t>(p[2]) << 16) |
         (static_cast<std::uint32_t>(p[3]) << 24);
}

void Store16(std::uint8_t* p, std::uint16_t value) {
  p[0] = static_cast<std::uint8_t>(value);
  p[1] = static_cast<std::uint8_t>(value >> 8);
}

void Store32(std::uint8_t* p, std::uint32_t value) {
  for (int i = 0; i < 4; ++i)
    p[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

HeaderFields ReadHeader(const std::uint8_t* bytes) {
  return HeaderFields{Load16(bytes), Load16(bytes + 2), Load32(bytes + 4),
                      Load32(bytes + 8)};
}

bool FramesPackage(const HeaderFields& header) {
  return header.magic == kMagic && header.fnc_typ <= kLastType &&
         header.datasize >= kHeaderSize && header.datasize <= kMaxPackageSize;
}

std::vector<std::uint8_t> BuildPackage(std::uint16_t fnc_typ,
                                       std::uint32_t message_id,
                                       const std::uint8_t* time_stamps,
                                       const std::uint8_t* payload,
                                       std::uint32_t payload_length) {
  const auto length = static_cast<std::uint32_t>(kHeaderSize + payload_length);
  std::vector<std::uint8_t> package(length, 0);
  std::uint8_t* head = package.data();
  Store16(head, fnc_typ);
  Store16(head + 2, kMagic);
  Store32(head + 4, message_id);
  Store32(head + 8, length);
  Store32(head + 12, length);  // ulLength2; usReserved stays 0
  if (time_stamps != nullptr) {
    std::memcpy(head + kTimeStampsOffset, time_stamps, kTimeStampsSize);
  }
  if (payload_length != 0) {
    std::memcpy(head + kHeaderSize, payload, payload_length);
  }
  return package;
}

}  // namespace wfsim
