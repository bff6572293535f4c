#include "builtin_client.h"

#include <vector>

#include "package_format.h"

namespace wfsim {

void BuiltInClient::Feed(const std::uint8_t* data, std::size_t size,
                         ByteQueue* answers) {
  pending_.Append(data, size);
  while (pending_.size() >= kHeaderSize) {
    const std::uint8_t* package = pending_.front();
    const HeaderFields header = ReadHeader(package);
    if (!FramesPackage(header)) {
      pending_.Drop(1);
      ++unframed_;
      continue;
    }
    if (pending_.size() < header.datasize) break;  // the rest comes later
    if (observer_) observer_(package, header.datasize);
    if (header.fnc_typ == kFarFunction && header.message_id != 0) {
      const std::vector<std::uint8_t> answer = BuildPackage(
          kResult, header.message_id, package + kTimeStampsOffset,
          package + kHeaderSize,
          static_cast<std::uint32_t>(header.datasize - kHeaderSize));
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
