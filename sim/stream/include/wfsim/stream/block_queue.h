// BlockQueue: the client's bytes on their way to the server's reads.
#ifndef QVCTX_SIM_STREAM_BLOCK_QUEUE_H_
#define QVCTX_SIM_STREAM_BLOCK_QUEUE_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace wfsim {

// A chain of fixed blocks. Queued bytes never move: appending fills the room
// of the last block and links new blocks behind it; taking advances over the
// first block and hands a block it has emptied to the spares. A stream thus
// costs one copy in and one copy out, whatever its length and however it is
// drained, and the storage is the most ever queued at once, kept for reuse.
// Every block but the last is full.
//
// Not thread-safe: the simulator's lock guards it. Bytes may be copied in and
// out without that lock, each side alone:
// - one producer at a time: Reserve (under the lock) hands out the room of
//   the last block and whole blocks of its own to fill without the lock;
//   Commit links them (under the lock), in order. Nothing else appends, and
//   the queue is not cleared, until the last Commit.
// - one consumer at a time: Peek (under the lock), CopyOut (without it), then
//   Drop (under it). The queue is not cleared meanwhile.
class BlockQueue {
 public:
  static constexpr std::size_t kBlockSize = std::size_t{64} * 1024;

  struct Block;
  // Blocks handed to a producer, in the order they are filled.
  class Fill {
   public:
    Fill() = default;
    ~Fill();
    Fill(Fill&& other) noexcept;
    Fill& operator=(Fill&&) = delete;
    Fill(const Fill&) = delete;
    Fill& operator=(const Fill&) = delete;

    // The bytes of the reservation, copied in order; without the lock.
    void CopyIn(const std::uint8_t* data, std::size_t count);

   private:
    friend class BlockQueue;
    std::uint8_t* room_ = nullptr;  // in the queue's last block
    std::size_t room_size_ = 0;
    // Blocks of its own behind the room, in order; those from `linked_` on
    // are still owned here.
    std::vector<Block*> blocks_;
    std::size_t linked_ = 0;
    std::size_t filled_ = 0;
    std::size_t committed_ = 0;
  };

  BlockQueue() = default;
  ~BlockQueue();
  BlockQueue(const BlockQueue&) = delete;
  BlockQueue& operator=(const BlockQueue&) = delete;

  // Queues `count` bytes under the lock. Throws std::bad_alloc when they
  // cannot be stored; nothing changes then.
  void Append(const std::uint8_t* data, std::size_t count);

  // Room for `count` bytes behind the queued ones. Throws std::bad_alloc;
  // nothing changes then.
  Fill Reserve(std::size_t count);
  // Queues the bytes copied into `fill` since its last commit.
  void Commit(Fill* fill);
  // Gives back what a producer did not fill: its unused blocks go to the
  // spares.
  void Release(Fill* fill);

  // The first `count` bytes (at most size()), for CopyOut.
  struct Span {
    const Block* block = nullptr;
    std::size_t offset = 0;
    std::size_t count = 0;
  };
  Span Peek(std::size_t count) const;
  // Copies the bytes of `span` to `out`; without the lock, as Peek's caller.
  static void CopyOut(const Span& span, std::uint8_t* out);
  // Removes `count` bytes (at most size()) from the front.
  void Drop(std::size_t count);
  // Drops every queued byte; the blocks become spares.
  void Clear();

  std::size_t size() const { return size_; }

 private:
  // A block from the spares, or a new one. Throws std::bad_alloc.
  Block* NewBlock();
  void Link(Block* block);
  void Recycle(Block* block);

  Block* head_ = nullptr;  // the first block; its bytes from head_offset_ on
  Block* tail_ = nullptr;  // the last block; its first tail_used_ bytes
  std::size_t head_offset_ = 0;
  std::size_t tail_used_ = 0;
  std::size_t size_ = 0;
  Block* spares_ = nullptr;
  // A producer holds the room of the last block: a drained queue may not
  // start its last block again from the front.
  bool room_out_ = false;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_STREAM_BLOCK_QUEUE_H_
