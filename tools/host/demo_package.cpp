#include "demo_package.h"

#include "common/demo_pattern.h"
#include "package_format.h"

namespace qvctx_host {

using wfsim::kHeaderSize;
using wfsim::kMessageIdOffset;
using wfsim::kTimeStampsOffset;
using wfsim::Load16;
using wfsim::Load32;
using wfsim::Store16;
using wfsim::Store32;

namespace {

constexpr std::uint32_t kCallFunctions = 16;
constexpr std::uint32_t kBulkFunction = 0xB0;
constexpr std::uint32_t kEventFunction = 0xE0;

void LayOutStampsAndPayload(std::uint32_t message_id,
                            std::vector<std::uint8_t>* package) {
  std::uint8_t* bytes = package->data();
  Store32(bytes + kMessageIdOffset, message_id);
  for (int k = 0; k < 4; ++k) {
    Store32(bytes + kTimeStampsOffset + 4 * static_cast<std::size_t>(k),
            TimeStamp(message_id, k));
  }
  qvctx_tools::FillPattern(message_id, bytes, kHeaderSize, package->size());
}

}  // namespace

std::uint32_t SlotMessageId(std::uint32_t index, bool bulk) {
  const std::uint32_t function =
      bulk ? kBulkFunction : 1 + index % kCallFunctions;
  return ((index + 1) << 8) | function;
}

std::uint32_t SlotOfMessageId(std::uint32_t message_id) {
  return (message_id >> 8) - 1;
}

std::uint32_t TimeStamp(std::uint32_t message_id, int k) {
  return (message_id ^ 0x51A7E5u) * (2u * static_cast<std::uint32_t>(k) + 1u) *
         0x9E3779B1u;
}

void LayOutCall(std::uint32_t message_id, std::uint32_t size,
                std::vector<std::uint8_t>* package) {
  package->assign(size, 0);
  LayOutStampsAndPayload(message_id, package);
}

void LayOutBulk(std::uint32_t message_id, std::uint32_t size,
                std::vector<std::uint8_t>* package) {
  package->assign(size, 0);
  std::uint8_t* bytes = package->data();
  Store16(bytes + wfsim::kFncTypOffset, wfsim::kFarFunction);
  Store16(bytes + wfsim::kMagicOffset, wfsim::kMagic);
  Store32(bytes + wfsim::kDatasizeOffset, size);
  Store32(bytes + wfsim::kLength2Offset, size);
  Store16(bytes + wfsim::kReservedOffset, 0);
  LayOutStampsAndPayload(message_id, package);
}

std::string AnswerProblem(const std::uint8_t* package, std::uint32_t length,
                          std::uint32_t message_id,
                          std::uint32_t expected_size) {
  if (length < kHeaderSize) {
    return "only " + std::to_string(length) + " bytes";
  }
  const std::uint16_t fnc_typ = Load16(package + wfsim::kFncTypOffset);
  if (fnc_typ != wfsim::kResult) return "FNCTyp " + std::to_string(fnc_typ);
  if (Load16(package + wfsim::kMagicOffset) != wfsim::kMagic)
    return "a wrong usMagic";
  if (Load32(package + kMessageIdOffset) != message_id) {
    return "a wrong messageID";
  }
  const std::uint32_t datasize = Load32(package + wfsim::kDatasizeOffset);
  if (datasize != expected_size || length != expected_size) {
    return "datasize " + std::to_string(datasize) + " and length " +
           std::to_string(length) + " for " + std::to_string(expected_size) +
           " bytes sent";
  }
  if (Load32(package + wfsim::kLength2Offset) != datasize) {
    return "ulLength2 unlike datasize";
  }
  for (int k = 0; k < 4; ++k) {
    if (Load32(package + kTimeStampsOffset + 4 * static_cast<std::size_t>(k)) !=
        TimeStamp(message_id, k)) {
      return "time stamp " + std::to_string(k) + " changed";
    }
  }
  const std::size_t mismatch = qvctx_tools::FirstPatternMismatch(
      message_id, package, kHeaderSize, length);
  if (mismatch != length) {
    return "payload byte at offset " + std::to_string(mismatch) + " changed";
  }
  return std::string();
}

std::uint32_t EventMessageId(std::uint32_t k) {
  return ((k + 1) << 8) | kEventFunction;
}

std::string EventPayload(std::uint32_t k) {
  return "client event " + std::to_string(k + 1);
}

}  // namespace qvctx_host
