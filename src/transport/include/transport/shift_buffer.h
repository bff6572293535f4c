// CShiftBuffer: the fixed 10 MiB block in which the reader reassembles the
// client's packages.
#ifndef QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
#define QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_

#include <cstdint>

namespace qvctx {

// The block is committed in steps of this size as writes first reach them.
inline constexpr std::uint32_t kShiftBufferCommitStep = 64 * 1024;

// The data always starts at the first byte of the block: the buffer never
// grows, never wraps and is never searched. Consuming a package moves the
// bytes behind it down to the front. A write that would reach beyond the last
// 34 bytes of the block is refused: it is logged, and the buffer is emptied.
//
// One thread owns a buffer: the reader builds its own and is the only one to
// touch it, so the buffer has no lock.
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

  // Adds n bytes at the fill position. Refused (logged, buffer emptied, the
  // bytes dropped) unless src is non-null, n > 0 and n < limit - pos, and
  // unless the pages it reaches can be committed (logged as out of memory).
  void AppendData(const void* src, std::int32_t n);
  // Empties the buffer and zeroes its header area; the rest keeps its bytes.
  void ClearData();
  // The start of the block, valid for the buffer's whole life.
  std::uint8_t* GetData() { return pData; }
  // Drops the first `count` bytes, moving the rest down to the front; empties
  // the buffer when count covers everything buffered.
  void ShiftData(std::uint32_t count);

  // The fill position: how many bytes are buffered from the front.
  std::uint32_t Position() const { return pos; }
  // Changes whenever the bytes at the front may change (emptied, shifted);
  // appends, which only add behind them, leave it.
  std::uint32_t FrontChanges() const { return front_changes_; }

 private:
  // Commits the block up to `end` (exclusive) when it is not yet, to the
  // next whole step. False when the system has no memory.
  bool Commit(std::uint32_t end);

  std::uint8_t* const pData;  // the block, owned
  // Number of valid bytes at the start of the block and the offset of the
  // next append.
  std::uint32_t pos = 0;
  std::uint32_t front_changes_ = 0;
  // The committed front of the block, a whole number of steps; the rest is
  // only reserved.
  std::uint32_t committed_ = kShiftBufferCommitStep;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
