#include "wfsim/stream/block_queue.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace wfsim {

// How far ahead of its end a read asks for the bytes of the reads to come:
// three reads of the reader's size.
constexpr std::size_t kPrefetchDistance = 6144;

// The bytes first, at the allocation's own alignment, as copies run fastest
// between aligned addresses.
struct BlockQueue::Block {
  std::uint8_t bytes[kBlockSize];
  Block* next = nullptr;
};

BlockQueue::Fill::~Fill() {
  for (std::size_t i = linked_; i < blocks_.size(); ++i) delete blocks_[i];
}

BlockQueue::Fill::Fill(Fill&& other) noexcept
    : room_(other.room_),
      room_size_(other.room_size_),
      blocks_(std::move(other.blocks_)),
      linked_(other.linked_),
      filled_(other.filled_),
      committed_(other.committed_) {
  other.blocks_.clear();
  other.linked_ = 0;
}

void BlockQueue::Fill::CopyIn(const std::uint8_t* data, std::size_t count) {
  while (count != 0) {
    std::uint8_t* to = nullptr;
    std::size_t space = 0;
    if (filled_ < room_size_) {
      to = room_ + filled_;
      space = room_size_ - filled_;
    } else {
      const std::size_t at = filled_ - room_size_;
      const std::size_t index = at / kBlockSize;
      if (index >= blocks_.size()) return;  // beyond the reservation
      to = blocks_[index]->bytes + at % kBlockSize;
      space = kBlockSize - at % kBlockSize;
    }
    const std::size_t n = std::min(count, space);
    std::memcpy(to, data, n);
    data += n;
    count -= n;
    filled_ += n;
  }
}

BlockQueue::~BlockQueue() {
  Clear();
  while (spares_ != nullptr) {
    Block* const next = spares_->next;
    delete spares_;
    spares_ = next;
  }
}

BlockQueue::Block* BlockQueue::NewBlock() {
  if (spares_ == nullptr) return new Block;
  Block* const block = spares_;
  spares_ = block->next;
  block->next = nullptr;
  return block;
}

void BlockQueue::Recycle(Block* block) {
  block->next = spares_;
  spares_ = block;
}

void BlockQueue::Link(Block* block) {
  block->next = nullptr;
  if (tail_ == nullptr) {
    head_ = block;
    head_offset_ = 0;
  } else {
    tail_->next = block;
  }
  tail_ = block;
  tail_used_ = 0;
}

void BlockQueue::Append(const std::uint8_t* data, std::size_t count) {
  if (count == 0) return;
  Fill fill = Reserve(count);
  fill.CopyIn(data, count);
  Commit(&fill);
  Release(&fill);
}

BlockQueue::Fill BlockQueue::Reserve(std::size_t count) {
  Fill fill;
  const std::size_t room = tail_ == nullptr ? 0 : kBlockSize - tail_used_;
  fill.room_size_ = std::min(room, count);
  if (fill.room_size_ != 0) fill.room_ = tail_->bytes + tail_used_;
  const std::size_t rest = count - fill.room_size_;
  const std::size_t blocks = (rest + kBlockSize - 1) / kBlockSize;
  fill.blocks_.reserve(blocks);
  try {
    for (std::size_t i = 0; i < blocks; ++i) fill.blocks_.push_back(NewBlock());
  } catch (...) {
    for (Block* block : fill.blocks_) Recycle(block);
    fill.blocks_.clear();
    throw;
  }
  room_out_ = true;
  return fill;
}

void BlockQueue::Commit(Fill* fill) {
  std::size_t left = fill->filled_ - fill->committed_;
  while (left != 0) {
    std::size_t n = 0;
    if (fill->committed_ < fill->room_size_) {
      n = std::min(left, fill->room_size_ - fill->committed_);
    } else {
      // The room is full, so is the last block: the next byte opens a
      // block of the producer's own.
      if (tail_ == nullptr || tail_used_ == kBlockSize) {
        Link(fill->blocks_[fill->linked_++]);
      }
      n = std::min(left, kBlockSize - tail_used_);
    }
    tail_used_ += n;
    size_ += n;
    fill->committed_ += n;
    left -= n;
  }
}

void BlockQueue::Release(Fill* fill) {
  for (std::size_t i = fill->linked_; i < fill->blocks_.size(); ++i) {
    Recycle(fill->blocks_[i]);
  }
  fill->blocks_.clear();
  fill->linked_ = 0;
  fill->room_ = nullptr;
  fill->room_size_ = 0;
  room_out_ = false;
}

BlockQueue::Span BlockQueue::Peek(std::size_t count) const {
  return Span{head_, head_offset_, std::min(count, size_)};
}

void BlockQueue::CopyOut(const Span& span, std::uint8_t* out) {
  const Block* block = span.block;
  std::size_t offset = span.offset;
  std::size_t left = span.count;
  while (left != 0) {
    const std::size_t n = std::min(left, kBlockSize - offset);
    std::memcpy(out, block->bytes + offset, n);
    out += n;
    left -= n;
    if (left == 0) {
      // The bytes of the reads to come, asked for now so they arrive while
      // the reader does its own work: each read asks for as many bytes as it
      // took, kPrefetchDistance ahead of its end.
      const std::size_t end = offset + n;
      const std::size_t to = std::min(kBlockSize, end + kPrefetchDistance);
      const std::size_t from = to - std::min(to - end, n);
      for (std::size_t at = from & ~std::size_t{63}; at < to; at += 64) {
        __builtin_prefetch(block->bytes + at);
      }
    }
    // Only a full block has bytes after it, so its link was made before
    // the Peek and does not change until the bytes are dropped.
    if (left != 0) {
      block = block->next;
      offset = 0;
    }
  }
}

void BlockQueue::Drop(std::size_t count) {
  count = std::min(count, size_);
  size_ -= count;
  while (count != 0) {
    const std::size_t end = head_ == tail_ ? tail_used_ : kBlockSize;
    const std::size_t n = std::min(count, end - head_offset_);
    head_offset_ += n;
    count -= n;
    if (head_offset_ == kBlockSize && head_ != tail_) {
      Block* const done = head_;
      head_ = head_->next;
      head_offset_ = 0;
      Recycle(done);
    }
  }
  // Drained: the last block starts again from its front, so a stream that
  // is read as it comes stays in the same cache-warm bytes; not while a
  // producer fills its room.
  if (size_ == 0 && !room_out_ && tail_ != nullptr) {
    head_offset_ = 0;
    tail_used_ = 0;
  }
}

void BlockQueue::Clear() {
  while (head_ != nullptr) {
    Block* const next = head_ == tail_ ? nullptr : head_->next;
    Recycle(head_);
    head_ = next;
  }
  tail_ = nullptr;
  head_offset_ = 0;
  tail_used_ = 0;
  size_ = 0;
}

}  // namespace wfsim
