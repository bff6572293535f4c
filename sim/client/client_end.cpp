#include "wfsim/client/client_end.h"

#include <algorithm>

namespace wfsim {

void ClientEnd::Send(const std::uint8_t* data, std::size_t size) {
  to_server_.Append(data, size);
}

std::size_t ClientEnd::EndDeliver(const BlockQueue::Span& span,
                                  const std::uint8_t* out) {
  to_server_.Drop(span.count);
  if (recorder_ != nullptr) {
    recorder_->Record(StreamRecorder::kFromClient, out, span.count);
  }
  return span.count;
}

void ClientEnd::Receive(const std::uint8_t* data, std::size_t size) {
  if (keep_written_) written_.Append(data, size);
  written_total_ += size;
  if (recorder_ != nullptr) {
    recorder_->Record(StreamRecorder::kFromServer, data, size);
  }
  if (built_in_on_) built_in_.Feed(data, size, &to_server_);
}

std::size_t ClientEnd::TakeWritten(std::uint8_t* out, std::size_t capacity) {
  return written_.Take(out, capacity);
}

void ClientEnd::SetBuiltInClient(bool on) {
  if (!on) built_in_.DropPartial();
  built_in_on_ = on;
}

void ClientEnd::Clear() {
  to_server_.Clear();
  written_.Clear();
  written_total_ = 0;
  piece_size_ = 0;
  built_in_on_ = false;
  keep_written_ = true;
  built_in_.Clear();
}

}  // namespace wfsim
