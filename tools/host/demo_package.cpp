#include "demo_package.h"

#include "common/demo_pattern.h"
#include "protocol/wire_format.h"

namespace qvctx_host {

using qvctx::kMessageIdOffset;
using qvctx::kPackageHeadSize;
using qvctx::kTimeStampsOffset;
using qvctx::LoadLe16;
using qvctx::LoadLe32;
using qvctx::StoreLe16;
using qvctx::StoreLe32;

namespace {

constexpr std::uint32_t kCallFunctions = 16;
constexpr std::uint32_t kBulkFunction = 0xB0;
constexpr std::uint32_t kEventFunction = 0xE0;

void LayOutStampsAndPayload(std::uint32_t message_id,
                            std::vector<std::uint8_t>* package) {
  std::uint8_t* bytes = package->data();
  StoreLe32(bytes + kMessageIdOffset, message_id);
  for (int k = 0; k < 4; ++k) {
    StoreLe32(bytes + kTimeStampsOffset + 4 * static_cast<std::size_t>(k),
              TimeStamp(message_id, k));
  }
  qvctx_tools::FillPattern(message_id, bytes, kPackageHeadSize,
                           package->size());
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
  StoreLe16(bytes + qvctx::kFncTypOffset, qvctx::kFarFunctionType);
  StoreLe16(bytes + qvctx::kMagicOffset, qvctx::kPackageMagic);
  StoreLe32(bytes + qvctx::kDatasizeOffset, size);
  StoreLe32(bytes + qvctx::kLength2Offset, size);
  StoreLe16(bytes + qvctx::kReservedOffset, 0);
  LayOutStampsAndPayload(message_id, package);
}

std::string AnswerProblem(const std::uint8_t* package, std::uint32_t length,
                          std::uint32_t message_id,
                          std::uint32_t expected_size) {
  if (length < kPackageHeadSize) {
    return "only " + std::to_string(length) + " bytes";
  }
  const std::uint16_t fnc_typ = LoadLe16(package + qvctx::kFncTypOffset);
  if (fnc_typ != qvctx::kResultType) return "FNCTyp " + std::to_string(fnc_typ);
  if (LoadLe16(package + qvctx::kMagicOffset) != qvctx::kPackageMagic)
    return "a wrong usMagic";
  if (LoadLe32(package + kMessageIdOffset) != message_id) {
    return "a wrong messageID";
  }
  const std::uint32_t datasize = LoadLe32(package + qvctx::kDatasizeOffset);
  if (datasize != expected_size || length != expected_size) {
    return "datasize " + std::to_string(datasize) + " and length " +
           std::to_string(length) + " for " + std::to_string(expected_size) +
           " bytes sent";
  }
  if (LoadLe32(package + qvctx::kLength2Offset) != datasize) {
    return "ulLength2 unlike datasize";
  }
  for (int k = 0; k < 4; ++k) {
    if (LoadLe32(package + kTimeStampsOffset +
                 4 * static_cast<std::size_t>(k)) != TimeStamp(message_id, k)) {
      return "time stamp " + std::to_string(k) + " changed";
    }
  }
  const std::size_t mismatch = qvctx_tools::FirstPatternMismatch(
      message_id, package, kPackageHeadSize, length);
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
