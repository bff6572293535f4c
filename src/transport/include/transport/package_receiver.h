// CPackageReceiver: the receive side of one reader pass, without the thread
// and without the channel.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_

#include <cstddef>
#include <cstdint>

#include "transport/shift_buffer.h"

namespace qvctx {

// The package at the front of the buffer, as its header was read once it
// passed the header test. Valid until the package is consumed.
struct PackageView {
  const std::uint8_t* bytes;  // its first byte: the buffer's front
  std::uint32_t size;         // its datasize, the header included
  std::uint16_t type;         // FNCTyp
  std::uint32_t message_id;
};

// Reassembles packages from the pieces that channel reads return. Each piece
// is appended to the shift buffer; a package is handed out when the front of
// the buffer passes the header test and all of its bytes are buffered, and
// consumed afterwards, so the next package becomes the front. The header of
// each front is read and tested once, however many pieces it arrives in and
// wherever in the block its bytes move meanwhile.
class CPackageReceiver {
 public:
  // Builds the 10 MiB buffer; may throw its std::runtime_error. Its lines
  // go to `log`, which must outlive the receiver.
  explicit CPackageReceiver(Logger& log) : log_(log), buffer_(log) {}
  CPackageReceiver(const CPackageReceiver&) = delete;
  CPackageReceiver& operator=(const CPackageReceiver&) = delete;

  // Appends one piece read from the channel. A piece that does not fit is
  // logged and empties the buffer (see CShiftBuffer::AppendData).
  void Append(const char* piece, std::int32_t count);
  // Where a channel read may put a piece of up to kChannelReadSize bytes
  // straight behind the buffered ones, saving Append's copy; null when the
  // piece must go through Append, which then decides as always (it might not
  // fit, or the pages for it cannot be had).
  char* RoomForPiece();
  // Takes the `count` bytes read into RoomForPiece's place as appended.
  void PieceRead(std::uint32_t count);

  // True when a complete package is at the front, described in *package.
  // Nothing is decided before the whole header is buffered, so stale bytes
  // in the header area never count. A header that passes the test with a
  // datasize below the header size could never be consumed: it is logged
  // and the buffer emptied.
  bool Front(PackageView* package);

  // Removes the package that Front described last.
  void Consume(const PackageView& package);

  // Drains every complete package before the next read, so a slow callback
  // cannot make the buffer overflow: while keep_going() and a package is at
  // the front, dispatch(package) and consume it. Returns how many were
  // dispatched.
  template <class Dispatch, class KeepGoing>
  std::size_t DrainCompletePackages(Dispatch&& dispatch,
                                    KeepGoing&& keep_going) {
    std::size_t dispatched = 0;
    PackageView package{};
    while (keep_going() && Front(&package)) {
      dispatch(package);
      Consume(package);
      ++dispatched;
    }
    return dispatched;
  }

  CShiftBuffer& buffer() { return buffer_; }

 private:
  // Reads and tests the header at the front: true when it passes with a
  // usable datasize, remembered in front_.
  bool ReadFront();

  Logger& log_;
  CShiftBuffer buffer_;
  // What the header at the front said, and the buffer's front-change count
  // when it was read: while the count is the same the front is the same, so
  // its header is not read again (appends only add behind it, and a move to
  // the start of the block keeps it as it is; its bytes are found anew).
  PackageView front_{};
  bool front_passed_ = false;
  bool front_read_ = false;
  std::uint32_t front_changes_ = 0;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_
