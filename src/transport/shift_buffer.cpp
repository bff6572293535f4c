#include "transport/shift_buffer.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "platform/platform.h"
#include "protocol/wire_format.h"
#include "transport/messages.h"
#include "transport/shift_buffer_test_helper.h"

namespace qvctx {

namespace {

// An idle session costs one step of the block, not all of it.
constexpr std::uint32_t kCommitStep = kShiftBufferCommitStep;
static_assert(kShiftBufferCapacity % kCommitStep == 0, "whole steps");

// The block of the buffer built last, for the tests' view of its pages.
std::atomic<const std::uint8_t*> g_last_block{nullptr};

// The block, reserved whole, with its first step (the header area) committed.
std::uint8_t* AllocateBlock() {
  void* block = port::ReserveZeroPages(kShiftBufferCapacity);
  if (block == nullptr || !port::CommitZeroPages(block, kCommitStep)) {
    port::FreeZeroPages(block, kShiftBufferCapacity);
    throw std::runtime_error(kShiftBufferNoMemory);
  }
  return static_cast<std::uint8_t*>(block);
}

// True when n bytes fit at offset `at`: strictly below the write limit,
// computed wide so no count or position can wrap the comparison.
bool Fits(std::uint32_t at, std::int32_t n) {
  return n > 0 && static_cast<std::uint64_t>(n) <
                      static_cast<std::uint64_t>(kShiftBufferWriteLimit) - at;
}

}  // namespace

// The zero pages are the zero fill: no byte of the block is written here
// beyond the header area that ClearData zeroes, and every page committed
// later reads zero until written.
CShiftBuffer::CShiftBuffer(Logger& log) : log_(log), pData(AllocateBlock()) {
  ClearData();
  g_last_block.store(pData, std::memory_order_relaxed);
}

CShiftBuffer::~CShiftBuffer() {
  port::FreeZeroPages(pData, kShiftBufferCapacity);
}

bool CShiftBuffer::Commit(std::uint32_t end) {
  if (end <= committed_) return true;
  const std::uint32_t target =
      (end + (kCommitStep - 1)) / kCommitStep * kCommitStep;
  if (!port::CommitZeroPages(pData + committed_, target - committed_)) {
    return false;
  }
  committed_ = target;
  return true;
}

const std::uint8_t* LastShiftBufferBlockForTesting() {
  return g_last_block.load(std::memory_order_relaxed);
}

void CShiftBuffer::AppendData(const void* src, std::int32_t n) {
  const bool fits = src != nullptr && Fits(Position(), n);
  std::uint8_t* const room = fits ? RoomFor(n) : nullptr;
  if (room != nullptr) {
    std::memcpy(room, src, static_cast<std::size_t>(n));
    Added(static_cast<std::uint32_t>(n));
    return;
  }
  // A line that cannot be written (no memory for the writer) is dropped; the
  // buffer is emptied all the same.
  try {
    log_.LogError(fits ? kAppendNoMemoryFormat : kAppendOverflowFormat,
                  static_cast<int>(Position()), static_cast<int>(n));
  } catch (const std::exception&) {
    // the line is lost, nothing else
  }
  ClearData();
}

std::uint8_t* CShiftBuffer::RoomFor(std::int32_t n) {
  const std::uint32_t buffered = pos - read_;
  if (!Fits(buffered, n)) return nullptr;
  // Moving the buffered bytes is cheap next to the bytes consumed before
  // them, or the room behind them is too short.
  if (read_ != 0 && (buffered <= read_ / 8 || !Fits(pos, n))) MoveToStart();
  return Commit(pos + static_cast<std::uint32_t>(n)) ? pData + pos : nullptr;
}

void CShiftBuffer::Added(std::uint32_t n) { pos += n; }

void CShiftBuffer::ClearData() {
  read_ = 0;
  pos = 0;
  std::memset(pData, 0, kPackageHeadSize);
  ++front_changes_;
}

void CShiftBuffer::ReleaseUnused() {
  if (pos != read_ || committed_ == kCommitStep) return;
  port::DecommitZeroPages(pData + kCommitStep, committed_ - kCommitStep);
  committed_ = kCommitStep;
}

void CShiftBuffer::ShiftData(std::uint32_t count) {
  if (pos - read_ > count) {
    read_ += count;
    ++front_changes_;
    if (pos - read_ < kPackageHeadSize) MoveToStart();
  } else {
    ClearData();
  }
}

void CShiftBuffer::MoveToStart() {
  std::memmove(pData, pData + read_, pos - read_);
  pos -= read_;
  read_ = 0;
}

}  // namespace qvctx
