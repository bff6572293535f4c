#include "wfsim/client/builtin_client.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "wfsim/stream/package_format.h"

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

void BuiltInClient::Feed(const std::uint8_t* data, std::size_t size,
                         BlockQueue* answers) {
  FeedTo(data, size, answers);
}

void BuiltInClient::Feed(const std::uint8_t* data, std::size_t size,
                         ByteQueue* answers) {
  FeedTo(data, size, answers);
}

template <typename Answers>
void BuiltInClient::FeedTo(const std::uint8_t* data, std::size_t size,
                           Answers* answers) {
  pending_.Append(data, size);
  while (pending_.size() >= qvctx::kPackageHeadSize) {
    const std::uint8_t* package = pending_.front();
    const HeaderFields header = ReadHeader(package);
    if (!FramesPackage(header)) {
      // As far as the next possible header, but never into the last 33
      // bytes: those wait for more, as they would one skip at a time.
      const std::size_t skipped =
          std::min(NextPossibleHeader(package, pending_.size()),
                   pending_.size() - (qvctx::kPackageHeadSize - 1));
      pending_.Drop(skipped);
      unframed_ += skipped;
      continue;
    }
    if (pending_.size() < header.datasize) break;  // the rest comes later
    if (observer_) observer_(package, header.datasize);
    if (header.fnc_typ == qvctx::kFarFunctionType && header.message_id != 0) {
      const std::vector<std::uint8_t> answer = BuildPackage(
          qvctx::kResultType, header.message_id,
          package + qvctx::kTimeStampsOffset, package + qvctx::kPackageHeadSize,
          static_cast<std::uint32_t>(header.datasize -
                                     qvctx::kPackageHeadSize));
      answers->Append(answer.data(), answer.size());
      ++answered_;
    }
    pending_.Drop(header.datasize);
  }
}

void BuiltInClient::Clear() {
  pending_.Clear();
  answered_ = 0;
  unframed_ = 0;
}

}  // namespace wfsim
