#include "wfsim/stream/byte_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace wfsim {

void ByteQueue::Append(const std::uint8_t* data, std::size_t count) {
  if (count == 0) return;
  std::memcpy(Reserve(count), data, count);
  tail_ += count;
}

std::uint8_t* ByteQueue::Reserve(std::size_t count) {
  const std::size_t queued = size();
  if (tail_ + count > capacity_) {
    if (queued + count <= capacity_) {
      std::memmove(storage_.get(), storage_.get() + head_, queued);
    } else {
      const std::size_t grown = std::max(2 * capacity_, queued + count);
      std::unique_ptr<std::uint8_t[]> larger(new std::uint8_t[grown]);
      if (queued != 0) std::memcpy(larger.get(), front(), queued);
      storage_ = std::move(larger);
      capacity_ = grown;
    }
    head_ = 0;
    tail_ = queued;
  }
  return storage_.get() + tail_;
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
  if (head_ == tail_) Rewind();
}

void ByteQueue::Clear() {
  head_ = tail_;
  Rewind();
}

void ByteQueue::Rewind() {
  head_ = 0;
  tail_ = 0;
}

}  // namespace wfsim
