#include "wfsim/client/builtin_client.h"

#include <vector>

#include "wfsim/stream/package_format.h"

namespace wfsim {

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
  for (HeaderFields header{};;) {
    const PackageCutter::Front front = pending_.Look(&header);
    if (front == PackageCutter::Front::kIncomplete) break;  // more comes later
    if (front == PackageCutter::Front::kUnframed) {
      unframed_ += pending_.SkipUnframed();
      continue;
    }
    const std::uint8_t* package = pending_.front();
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
