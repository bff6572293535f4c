#include "byte_queue.h"

#include <algorithm>
#include <cstring>

namespace wfsim {

namespace {

// A consumed front smaller than this is never worth moving the rest for.
constexpr std::size_t kCompactThreshold = std::size_t{64} * 1024;

}  // namespace

void ByteQueue::Append(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return;
  bytes_.insert(bytes_.end(), data, data + size);
}

std::size_t ByteQueue::Take(std::uint8_t* out, std::size_t capacity) {
  const std::size_t count = std::min(capacity, size());
  if (count == 0) return 0;
  std::memcpy(out, front(), count);
  Drop(count);
  return count;
}

void ByteQueue::Drop(std::size_t count) {
  head_ += std::min(count, size());
  if (head_ == bytes_.size()) {
    Clear();
  } else if (head_ >= kCompactThreshold && head_ >= size()) {
    bytes_.erase(bytes_.begin(),
                 bytes_.begin() + static_cast<std::ptrdiff_t>(head_));
    head_ = 0;
  }
}

void ByteQueue::Clear() {
  bytes_.clear();
  head_ = 0;
}

}  // namespace wfsim
