// CShiftBuffer: the fixed 10 MiB block in which packages are reassembled on
// receipt and staged for sending.
#ifndef QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
#define QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_

#include <atomic>
#include <cstdint>

#include "platform/platform.h"

namespace qvctx {

// The block is committed in steps of this size as writes first reach them.
inline constexpr std::uint32_t kShiftBufferCommitStep = 64 * 1024;

// The data always starts at the first byte of the block: the buffer never
// grows, never wraps and is never searched. Consuming a package moves the
// bytes behind it down to the front. A write that would reach beyond the last
// 34 bytes of the block is refused: it is logged, and the buffer is emptied.
class CShiftBuffer {
 public:
  // Reserves the block among the operating system's zero pages and commits
  // it in steps of 64 KiB as the writes first reach them, so only the part
  // that has been used costs memory (an idle session: one step). Throws
  // std::runtime_error("Memory allocation failed in CShiftBuffer
  // constructor.") when the block or its first step cannot be had.
  CShiftBuffer();
  ~CShiftBuffer();
  CShiftBuffer(const CShiftBuffer&) = delete;
  CShiftBuffer& operator=(const CShiftBuffer&) = delete;

  // A refused write is logged outside the lock.
  // Adds n bytes at the fill position. Refused (logged, buffer emptied, the
  // bytes dropped) unless src is non-null, n > 0 and n < limit - pos, and
  // unless the pages it reaches can be committed (logged as out of memory).
  void AppendData(const void* src, std::int32_t n);
  // Replaces the contents with n bytes. Refused (logged, buffer emptied)
  // unless OverWriteTakes(src, n) and the pages it reaches can be committed.
  void OverWrite(const void* src, std::int32_t n);
  // The rule of OverWrite, for a copy staged elsewhere by the same rule: src
  // is non-null, n > 0 and n < the write limit.
  static bool OverWriteTakes(const void* src, std::int32_t n);
  // The line of a refused OverWrite of n bytes; a line that cannot be written
  // is dropped.
  static void LogRefusedOverWrite(std::int32_t n);
  // Empties the buffer and zeroes its header area; the rest keeps its bytes.
  void ClearData();
  // The start of the block, valid for the buffer's whole life.
  std::uint8_t* GetData();
  // Drops the first `count` bytes, moving the rest down to the front; empties
  // the buffer when count covers everything buffered.
  void ShiftData(std::uint32_t count);

  // The fill position, read without the lock (the limit and completeness
  // tests).
  std::uint32_t Position() const { return pos.load(std::memory_order_relaxed); }
  // Changes whenever the bytes at the front may change (emptied, shifted,
  // overwritten); appends, which only add behind them, leave it. Read
  // without the lock.
  std::uint32_t FrontChanges() const {
    return front_changes_.load(std::memory_order_relaxed);
  }
  // The lock under which users read header fields at the front: take it,
  // GetData, read, release. Recursive, so the operations above may run
  // inside it.
  port::RecursiveLock& BufferLock() { return lock; }

 private:
  // Under the lock: only its holder writes the count.
  void NoteFrontChange() {
    front_changes_.store(front_changes_.load(std::memory_order_relaxed) + 1,
                         std::memory_order_relaxed);
  }

  // Number of valid bytes at the start of the block and the offset of the next
  // append. Written under the lock; atomic so the unlocked reads are sound.
  std::atomic<std::uint32_t> pos{0};
  // Counts the changes of the front; written under the lock.
  std::atomic<std::uint32_t> front_changes_{0};
  // Under the lock: commits the block up to `end` (exclusive) when it is not
  // yet, to the next whole step. False when the system has no memory.
  bool Commit(std::uint32_t end);

  std::uint8_t* const pData;  // the block, owned
  // The committed front of the block, a whole number of steps; the rest is
  // only reserved. Under the lock.
  std::uint32_t committed_ = kShiftBufferCommitStep;
  port::RecursiveLock lock;  // guards the contents and the writes of pos
};

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
