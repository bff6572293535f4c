// CShiftBuffer: the fixed 10 MiB block in which the reader reassembles the
// client's packages.
#ifndef QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
#define QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_

#include <cstdint>

#include "diagnostics/logger.h"

namespace qvctx {

// The block is committed in steps of this size as writes first reach them.
inline constexpr std::uint32_t kShiftBufferCommitStep = 64 * 1024;

// The buffered bytes lie together in the block, from the read position to
// the fill position: the buffer never grows, never wraps and is never
// searched. Consuming a package only moves the read position; the bytes
// behind it move down to the start of the block before an append, when that
// costs little (see AppendData) or when the append needs the room, and at
// once when fewer than a header's bytes are left. A write that would leave
// fewer than 35 bytes of the block behind what is buffered is refused: it is
// logged, and the buffer is emptied.
//
// One thread owns a buffer: the reader builds its own and is the only one to
// touch it, so the buffer has no lock.
class CShiftBuffer {
 public:
  // Reserves the block among the operating system's zero pages and commits
  // it in steps of 64 KiB as the writes first reach them, so only the part
  // that has been used costs memory (an idle session: one step). Throws
  // std::runtime_error("Memory allocation failed in CShiftBuffer
  // constructor.") when the block or its first step cannot be had. A refused
  // append is logged to `log`, which must outlive the buffer.
  explicit CShiftBuffer(Logger& log);
  ~CShiftBuffer();
  CShiftBuffer(const CShiftBuffer&) = delete;
  CShiftBuffer& operator=(const CShiftBuffer&) = delete;

  // Adds n bytes behind the buffered ones. Refused (logged, buffer emptied,
  // the bytes dropped) unless src is non-null, n > 0 and n < limit -
  // Position(), and unless the pages it reaches can be committed (logged as
  // out of memory). Before the copy the buffered bytes move down to the start
  // of the block when they are no more than an eighth of the bytes consumed
  // in front of them, or when the append would otherwise pass the write
  // limit; so each byte consumed pays for at most an eighth of a byte moved,
  // and the data stays near the start of the block.
  void AppendData(const void* src, std::int32_t n);
  // The room that AppendData would copy n bytes to, made ready as it would
  // make it (the bytes moved down when that is due, the pages committed), so
  // a caller may write the bytes there itself; null when AppendData would
  // refuse them. Nothing buffered changes.
  std::uint8_t* RoomFor(std::int32_t n);
  // Adds the n bytes written at RoomFor's address; n at most what RoomFor
  // was asked for.
  void Added(std::uint32_t n);
  // Empties the buffer and zeroes its header area; the rest keeps its bytes.
  void ClearData();
  // When the buffer is empty, gives what it committed beyond its first step
  // back to the system, so an idle buffer holds one step again. Called when
  // the channel is idle rather than whenever the buffer empties, so a stream
  // of large packages does not commit the same pages again for each.
  void ReleaseUnused();
  // The front: the first buffered byte. Valid until the next append, shift
  // or clear, which may move the bytes.
  std::uint8_t* GetData() { return pData + read_; }
  // Consumes the first `count` bytes by moving the read position past them;
  // a remainder shorter than a header moves down to the start of the block.
  // Empties the buffer when count covers everything buffered.
  void ShiftData(std::uint32_t count);

  // How many bytes are buffered from the front.
  std::uint32_t Position() const { return pos - read_; }
  // Changes whenever the bytes at the front may change (emptied, consumed);
  // appends, which only add behind them, leave it, and so does a move of the
  // buffered bytes to the start of the block, which keeps them as they are
  // (GetData() then gives their new place).
  std::uint32_t FrontChanges() const { return front_changes_; }

 private:
  // Commits the block up to `end` (exclusive) when it is not yet, to the
  // next whole step. False when the system has no memory.
  bool Commit(std::uint32_t end);
  // Moves the buffered bytes down to the start of the block.
  void MoveToStart();

  Logger& log_;
  std::uint8_t* const pData;  // the block, owned
  // The offset of the front and the offset of the next append (the fill
  // position): the buffered bytes are [read_, pos).
  std::uint32_t read_ = 0;
  std::uint32_t pos = 0;
  std::uint32_t front_changes_ = 0;
  // The committed front of the block, a whole number of steps; the rest is
  // only reserved.
  std::uint32_t committed_ = kShiftBufferCommitStep;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_H_
