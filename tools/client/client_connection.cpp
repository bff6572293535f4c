#include "client_connection.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/demo_pattern.h"
#include "wfsim/stream/package_format.h"

namespace qvctx_client {

namespace {

constexpr std::size_t kReceiveChunk = 65536;
// How often the receiving loop looks at the deadline while idle.
constexpr std::uint32_t kDeadlinePollMs = 100;
// Events carry message IDs of their own range, never 0.
constexpr std::uint32_t kFirstEventId = 0x00E70001u;
constexpr int kMismatchesShown = 5;

}  // namespace

ClientConnection::ClientConnection(std::unique_ptr<wfsim::TcpStream> stream,
                                   const ConnectionPlan& plan,
                                   wfsim::StreamRecorder* recorder, bool quiet)
    : stream_(std::move(stream)),
      plan_(plan),
      recorder_(recorder),
      quiet_(quiet) {
  answerer_.SetObserver([this](const std::uint8_t* package,
                               std::uint32_t size) { Inspect(package, size); });
}

void ClientConnection::Inspect(const std::uint8_t* package,
                               std::uint32_t size) {
  const wfsim::HeaderFields header = wfsim::ReadHeader(package);
  if (header.fnc_typ != qvctx::kFarFunctionType || header.message_id == 0)
    return;
  ++stats_.calls;
  if (!plan_.check_pattern) return;
  const std::size_t bad = qvctx_tools::FirstPatternMismatch(
      header.message_id, package, qvctx::kPackageHeadSize, size);
  if (bad == size) return;
  if (stats_.mismatches++ < kMismatchesShown) {
    std::fprintf(stderr,
                 "qvctx-client: call messageID=%u (%u bytes) breaks the "
                 "pattern at offset %zu\n",
                 header.message_id, size, bad);
  }
}

bool ClientConnection::SendLocked(const std::uint8_t* data, std::size_t size) {
  if (!stream_->SendAll(data, size)) return false;
  stats_.bytes_out += size;
  if (recorder_ != nullptr) {
    recorder_->Record(wfsim::StreamRecorder::kFromClient, data, size);
  }
  return true;
}

bool ClientConnection::SendAnswers() {
  std::lock_guard<std::mutex> hold(send_mutex_);
  // The queue holds whole answers, one after the other.
  while (answers_.size() >= qvctx::kPackageHeadSize) {
    const std::uint32_t size = wfsim::ReadHeader(answers_.front()).datasize;
    if (plan_.cut_after >= 0 &&
        stats_.answered == static_cast<std::uint64_t>(plan_.cut_after)) {
      SendLocked(answers_.front(), size / 2);
      stats_.cut = true;
      return false;
    }
    if (!SendLocked(answers_.front(), size)) return false;
    answers_.Drop(size);
    ++stats_.answered;
  }
  return true;
}

void ClientConnection::SendEvents() {
  for (std::uint32_t k = 0; k < plan_.events; ++k) {
    {
      std::unique_lock<std::mutex> hold(events_mutex_);
      if (events_wake_.wait_for(
              hold, std::chrono::milliseconds(plan_.event_interval_ms),
              [this] { return ending_; })) {
        return;
      }
    }
    std::vector<std::uint8_t> payload(plan_.event_size);
    const std::string text = "event " + std::to_string(k + 1);
    for (std::size_t i = 0; i < payload.size(); ++i) {
      payload[i] = static_cast<std::uint8_t>(i < text.size() ? text[i] : ' ');
    }
    const std::vector<std::uint8_t> event = wfsim::BuildPackage(
        qvctx::kEventType, kFirstEventId + k, nullptr, payload.data(),
        static_cast<std::uint32_t>(payload.size()));
    std::lock_guard<std::mutex> hold(send_mutex_);
    if (stats_.cut || !SendLocked(event.data(), event.size())) return;
    ++stats_.events_sent;
  }
}

ConnectionStats ClientConnection::Serve(
    std::chrono::steady_clock::time_point deadline) {
  std::thread events([this] { SendEvents(); });
  std::vector<std::uint8_t> chunk(kReceiveChunk);
  for (;;) {
    if (std::chrono::steady_clock::now() >= deadline) {
      stats_.timed_out = true;
      break;
    }
    const int ready = stream_->WaitReadable(kDeadlinePollMs);
    if (ready == 0) continue;
    const long long got =
        ready < 0 ? -1 : stream_->Receive(chunk.data(), chunk.size());
    if (got <= 0) break;
    const auto size = static_cast<std::size_t>(got);
    stats_.bytes_in += size;
    if (recorder_ != nullptr) {
      recorder_->Record(wfsim::StreamRecorder::kFromServer, chunk.data(), size);
    }
    answerer_.Feed(chunk.data(), size, &answers_);
    if (!SendAnswers()) break;
  }
  {
    std::lock_guard<std::mutex> hold(events_mutex_);
    ending_ = true;
  }
  events_wake_.notify_all();
  events.join();
  stream_->Shutdown();
  stats_.unframed = answerer_.unframed();
  if (!quiet_ && stats_.cut) {
    std::printf("qvctx-client: connection cut in the middle of answer %llu\n",
                static_cast<unsigned long long>(stats_.answered) + 1);
  }
  return stats_;
}

}  // namespace qvctx_client
