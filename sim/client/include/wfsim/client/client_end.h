// ClientEnd: the client's end of the channel, the two byte streams.
#ifndef QVCTX_SIM_CLIENT_CLIENT_END_H_
#define QVCTX_SIM_CLIENT_CLIENT_END_H_

#include <cstddef>
#include <cstdint>

#include "wfsim/client/builtin_client.h"
#include "wfsim/recording/stream_recorder.h"
#include "wfsim/stream/block_queue.h"
#include "wfsim/stream/byte_queue.h"

namespace wfsim {

// Toward the server: bytes the client sent, delivered to the server's reads.
// From the server: every written byte, kept until taken, and fed to the
// built-in client when it is on.
//
// The two streams meet the outside world only in Send/Deliver and
// Receive/TakeWritten, so a bridge to a remote client (for example over a
// loopback connection) can take the written bytes and send what arrives, and
// a recording of either direction is a tap at those same points.
// Not thread-safe: the simulator's lock guards it.
class ClientEnd {
 public:
  ClientEnd() = default;
  ClientEnd(const ClientEnd&) = delete;
  ClientEnd& operator=(const ClientEnd&) = delete;

  // Queues bytes for the server. Throws std::bad_alloc.
  void Send(const std::uint8_t* data, std::size_t size);
  // The same in steps, for a sender that copies outside the simulator's lock
  // (see BlockQueue::Reserve): room for `size` bytes, the bytes copied into
  // it committed in order, the rest released. Throws std::bad_alloc.
  BlockQueue::Fill ReserveSend(std::size_t size) {
    return to_server_.Reserve(size);
  }
  void CommitSend(BlockQueue::Fill* fill) { to_server_.Commit(fill); }
  void ReleaseSend(BlockQueue::Fill* fill) { to_server_.Release(fill); }
  // One read of the server, in steps so the copy may run outside the
  // simulator's lock (see BlockQueue::Peek): the bytes of the read, at most
  // `capacity` and at most the piece size; then, once they are copied to
  // `out`, their end. Returns the count delivered.
  BlockQueue::Span BeginDeliver(std::size_t capacity) const {
    return to_server_.Peek(PieceFor(capacity));
  }
  std::size_t EndDeliver(const BlockQueue::Span& span, const std::uint8_t* out);
  // The most that one read of `capacity` bytes delivers.
  std::size_t PieceFor(std::size_t capacity) const {
    return piece_size_ != 0 && piece_size_ < capacity ? piece_size_ : capacity;
  }
  // The bytes of one write of the server. Throws std::bad_alloc.
  void Receive(const std::uint8_t* data, std::size_t size);
  // Moves up to `capacity` of the oldest written bytes to `out`.
  std::size_t TakeWritten(std::uint8_t* out, std::size_t capacity);
  // Counts bytes of a write that went to a remote client instead; they are
  // neither kept nor fed to the built-in client.
  void CountForwarded(std::size_t size) { written_total_ += size; }
  // A new connection of the client: nothing queued for the server and no
  // package the built-in client had begun survives it.
  void StartNewStream() {
    to_server_.Clear();
    built_in_.DropPartial();
  }
  // Records every delivered and received byte from now on; null stops it.
  // The recorder must outlive its use here.
  void SetRecorder(StreamRecorder* recorder) { recorder_ = recorder; }

  void SetPieceSize(std::uint32_t max_bytes) { piece_size_ = max_bytes; }
  void SetBuiltInClient(bool on);
  // Off: written bytes are counted and fed to the built-in client but not
  // kept for TakeWritten, so a long run holds no copy of its traffic.
  void SetKeepWritten(bool on) { keep_written_ = on; }
  // Back to the defaults.
  void Clear();

  std::uint64_t pending() const { return to_server_.size(); }
  std::uint64_t written_total() const { return written_total_; }
  std::uint64_t written_available() const { return written_.size(); }
  const BuiltInClient& built_in() const { return built_in_; }

 private:
  BlockQueue to_server_;             // queued, not yet read by the server
  ByteQueue written_;                // written by the server, not yet taken
  std::uint64_t written_total_ = 0;  // every byte written since the reset
  std::uint32_t piece_size_ = 0;     // largest piece of one read; 0 no limit
  bool built_in_on_ = false;
  bool keep_written_ = true;
  BuiltInClient built_in_;
  StreamRecorder* recorder_ = nullptr;  // not owned
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CLIENT_CLIENT_END_H_
