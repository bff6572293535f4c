#include "wfsim/stream/package_cutter.h"

#include <algorithm>
#include <cstring>

namespace wfsim {

namespace {

// The first offset after the front at which a header could begin: the two
// bytes of its magic are there, or have not all arrived yet. No package
// begins before it, so everything before it is skipped at once.
std::size_t NextPossibleHeader(const std::uint8_t* bytes, std::size_t size) {
  constexpr auto kLow = static_cast<std::uint8_t>(qvctx::kPackageMagic & 0xFF);
  constexpr auto kHigh = static_cast<std::uint8_t>(qvctx::kPackageMagic >> 8);
  std::size_t at = 1;
  while (at + qvctx::kMagicOffset < size) {
    const void* low = std::memchr(bytes + at + qvctx::kMagicOffset, kLow,
                                  size - at - qvctx::kMagicOffset);
    if (low == nullptr) return size - qvctx::kMagicOffset;
    at = static_cast<std::size_t>(static_cast<const std::uint8_t*>(low) -
                                  bytes) -
         qvctx::kMagicOffset;
    if (at + qvctx::kMagicOffset + 1 == size ||
        bytes[at + qvctx::kMagicOffset + 1] == kHigh)
      return at;
    ++at;
  }
  return at;
}

}  // namespace

PackageCutter::Front PackageCutter::Look(HeaderFields* header) const {
  if (bytes_.size() < qvctx::kPackageHeadSize) return Front::kIncomplete;
  *header = ReadHeader(bytes_.front());
  if (!FramesPackage(*header)) return Front::kUnframed;
  return bytes_.size() < header->datasize ? Front::kIncomplete : Front::kWhole;
}

std::size_t PackageCutter::SkipUnframed() {
  if (bytes_.size() < qvctx::kPackageHeadSize) return 0;
  const std::size_t skipped =
      std::min(NextPossibleHeader(bytes_.front(), bytes_.size()),
               bytes_.size() - (qvctx::kPackageHeadSize - 1));
  Drop(skipped);
  return skipped;
}

bool PackageCutter::Next(std::vector<std::uint8_t>* package) {
  HeaderFields header{};
  if (Look(&header) != Front::kWhole) return false;
  package->assign(bytes_.front(), bytes_.front() + header.datasize);
  Drop(header.datasize);
  return true;
}

}  // namespace wfsim
