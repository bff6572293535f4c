// ByteQueue: a first-in first-out run of bytes.
#ifndef QVCTX_SIM_BYTE_QUEUE_H_
#define QVCTX_SIM_BYTE_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wfsim {

// Bytes are appended at the back and taken from the front. Taking only moves
// a mark; the consumed front is given back once it is the larger part, so a
// long stream costs amortised constant time per byte. Not thread-safe: the
// simulator's lock guards it.
class ByteQueue {
 public:
  ByteQueue() = default;
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  // Throws std::bad_alloc when the bytes cannot be stored.
  void Append(const std::uint8_t* data, std::size_t size);
  // Copies up to `capacity` bytes from the front into `out` and removes them.
  std::size_t Take(std::uint8_t* out, std::size_t capacity);
  // Removes `count` bytes (at most size()) from the front.
  void Drop(std::size_t count);
  void Clear();

  std::size_t size() const { return bytes_.size() - head_; }
  bool empty() const { return size() == 0; }
  // The first byte; valid until the next change.
  const std::uint8_t* front() const { return bytes_.data() + head_; }

 private:
  std::vector<std::uint8_t> bytes_;
  std::size_t head_ = 0;  // bytes before it are consumed
};

}  // namespace wfsim

#endif  // QVCTX_SIM_BYTE_QUEUE_H_
