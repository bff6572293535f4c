#include "client_bridge.h"

#include <utility>
#include <vector>

namespace wfsim {

namespace {

constexpr std::size_t kReceiveChunk = 65536;
// How often the receiving thread looks at the stop request while idle.
constexpr std::uint32_t kStopPollMs = 50;

}  // namespace

ClientBridge::ClientBridge(std::unique_ptr<TcpStream> stream,
                           BytesSink on_bytes, EndSink on_end)
    : stream_(std::move(stream)),
      on_bytes_(std::move(on_bytes)),
      on_end_(std::move(on_end)) {
  thread_ = std::thread([this] { ReceiveLoop(); });
}

ClientBridge::~ClientBridge() {
  stop_ = true;
  stream_->Shutdown();
  thread_.join();
}

bool ClientBridge::Send(const std::uint8_t* data, std::size_t size,
                        StreamRecorder* recorder) {
  std::lock_guard<std::mutex> hold(send_mutex_);
  if (!connected_) return false;
  if (!stream_->SendAll(data, size)) {
    connected_ = false;
    return false;
  }
  if (recorder != nullptr) {
    recorder->Record(StreamRecorder::kFromServer, data, size);
  }
  return true;
}

void ClientBridge::ReceiveLoop() {
  std::vector<std::uint8_t> chunk(kReceiveChunk);
  while (!stop_) {
    const int ready = stream_->WaitReadable(kStopPollMs);
    if (ready == 0) continue;
    const long long got =
        ready < 0 ? -1 : stream_->Receive(chunk.data(), chunk.size());
    if (got <= 0) break;
    on_bytes_(this, chunk.data(), static_cast<std::size_t>(got));
  }
  connected_ = false;
  on_end_(this);
}

}  // namespace wfsim
