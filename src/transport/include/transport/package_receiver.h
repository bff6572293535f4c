// CPackageReceiver: the receive side of one reader pass, without the thread
// and without the channel.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_

#include <cstddef>
#include <cstdint>

#include "transport/shift_buffer.h"

namespace qvctx {

// Reassembles packages from the pieces that channel reads return. Each piece
// is appended to the shift buffer; a package is handed out when the front of
// the buffer passes the header test and all of its bytes are buffered, and
// consumed afterwards, so the next package moves to the front.
class CPackageReceiver {
 public:
  // Builds the 10 MiB buffer; may throw its std::runtime_error.
  CPackageReceiver() = default;
  CPackageReceiver(const CPackageReceiver&) = delete;
  CPackageReceiver& operator=(const CPackageReceiver&) = delete;

  // Appends one piece read from the channel. A piece that does not fit is
  // logged and empties the buffer (see CShiftBuffer::AppendData).
  void Append(const char* piece, std::int32_t count);

  // True when a complete package is at the front: *package is its first byte
  // (the start of the block) and *length its datasize. Nothing is decided
  // before the whole header is buffered, so stale bytes in the header area
  // never count. A header that passes the test with a datasize below the
  // header size could never be consumed: it is logged and the buffer
  // emptied.
  bool Front(const std::uint8_t** package, std::uint32_t* length);

  // Removes the package at the front, by the datasize read again from its
  // header.
  void Consume();

  // Drains every complete package before the next read, so a slow callback
  // cannot make the buffer overflow: while keep_going() and a package is at
  // the front, dispatch(package, length) and consume it. Returns how many
  // were dispatched.
  template <class Dispatch, class KeepGoing>
  std::size_t DrainCompletePackages(Dispatch&& dispatch,
                                    KeepGoing&& keep_going) {
    std::size_t dispatched = 0;
    const std::uint8_t* package = nullptr;
    std::uint32_t length = 0;
    while (keep_going() && Front(&package, &length)) {
      dispatch(package, length);
      Consume();
      ++dispatched;
    }
    return dispatched;
  }

  CShiftBuffer& buffer() { return buffer_; }

 private:
  CShiftBuffer buffer_;
  // The datasize of the front package once its header has passed, and the
  // buffer's front-change count then: while the count is the same, the
  // front is the same.
  std::uint32_t front_datasize_ = 0;
  std::uint32_t front_changes_ = 0;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_RECEIVER_H_
