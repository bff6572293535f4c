// ByteQueue: a first-in first-out run of bytes.
#ifndef QVCTX_SIM_STREAM_BYTE_QUEUE_H_
#define QVCTX_SIM_STREAM_BYTE_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <memory>

namespace wfsim {

// Bytes are appended at the back and taken from the front, a block at a time.
// Taking only moves a mark, and a queue taken empty starts again at the front
// of its storage, so a stream that is drained as it comes is copied once in
// and once out. The consumed front is given back only when an append would
// otherwise grow the storage: the bytes still queued are then moved down
// once, so a long stream costs amortised constant time per byte, and the
// storage is at most twice the most bytes ever queued at once.
//
// Not thread-safe.
class ByteQueue {
 public:
  ByteQueue() = default;
  ByteQueue(const ByteQueue&) = delete;
  ByteQueue& operator=(const ByteQueue&) = delete;

  // Throws std::bad_alloc when the bytes cannot be stored; nothing changes
  // then.
  void Append(const std::uint8_t* data, std::size_t count);
  // Copies up to `capacity` bytes from the front into `out` and removes them.
  std::size_t Take(std::uint8_t* out, std::size_t capacity);
  // Removes `count` bytes (at most size()) from the front.
  void Drop(std::size_t count);
  // Drops every queued byte.
  void Clear();

  std::size_t size() const { return tail_ - head_; }
  bool empty() const { return size() == 0; }
  // The first byte; valid until the next change.
  const std::uint8_t* front() const { return storage_.get() + head_; }

 private:
  // Room for `count` bytes behind the queued ones. Throws std::bad_alloc when
  // there is none; nothing changes then.
  std::uint8_t* Reserve(std::size_t count);
  // Back to the start of the storage when nothing is queued.
  void Rewind();

  std::unique_ptr<std::uint8_t[]> storage_;
  std::size_t capacity_ = 0;
  std::size_t head_ = 0;  // bytes before it are consumed
  std::size_t tail_ = 0;  // the queued bytes end here
};

}  // namespace wfsim

#endif  // QVCTX_SIM_STREAM_BYTE_QUEUE_H_
