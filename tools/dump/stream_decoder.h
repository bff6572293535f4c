// StreamDecoder: cuts one direction of a recorded "qvctx" channel into
// packages, the way the receiving end would, and notes every front that end
// would refuse or handle unusually.
#ifndef QVCTX_TOOLS_DUMP_STREAM_DECODER_H_
#define QVCTX_TOOLS_DUMP_STREAM_DECODER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "stream_record.h"

namespace qvdump {

// Takes the stream in pieces of any size and hands out one Record per
// package or skipped run, in stream order. Only the unread tail of the last
// piece and the first bytes of the current package are kept, so a stream of
// any length goes through in bounded memory.
//
// The reader (client>server) takes the front for a header when FNCTyp <= 3,
// messageID != 0 and usMagic is 10001; the client (server>client) when
// usMagic is 10001, FNCTyp <= 3 and the datasize lies between the header size
// and the receive buffer's size. A front that fails starts a skipped run. The
// recording says nothing about read timing, so after such a front the
// decoder falls into step again at the next offset where a header with a
// usable datasize begins. A header whose datasize the receiver cannot use
// is shown as 34 bytes; the bytes behind it are the next front.
class StreamDecoder {
 public:
  explicit StreamDecoder(Direction direction) : direction_(direction) {}
  StreamDecoder(const StreamDecoder&) = delete;
  StreamDecoder& operator=(const StreamDecoder&) = delete;

  // Takes the next `size` bytes of the stream. Throws std::bad_alloc.
  void Feed(const std::uint8_t* data, std::size_t size);

  // The stream has ended: reports what is still open (a package cut off, a
  // trailing run). Nothing may be fed afterwards.
  void Finish();

  // The records completed since the last call.
  std::vector<Record> TakeRecords();

  Direction direction() const { return direction_; }
  const Summary& summary() const { return summary_; }

 private:
  enum class Mode {
    kFront,  // the next byte begins a package, if anything
    kBody,   // inside a package's payload
    kScan,   // inside a skipped run, looking for the next header
  };

  // Works through pending_ from its start; at_end: no more bytes will come.
  // Returns how many bytes were used up.
  std::size_t Process(bool at_end);
  // Removes the first `used` pending bytes, worked through.
  void DropUsed(std::size_t used);
  // Decides the front at pending_[pos] (a whole header is there); returns
  // the position after the bytes it used up.
  std::size_t DecideFront(std::size_t pos);
  // The front at pending_[pos] is cut off by the end of the stream.
  std::size_t DecideCutFront(std::size_t pos);
  // Whether the `count` bytes (at least one) at `bytes` may begin
  // a package; with `whole`, the datasize must be usable too, and fewer
  // than the tested bytes never pass.
  bool MayBeginPackage(const std::uint8_t* bytes, std::size_t count,
                       bool whole) const;
  // MayBeginPackage for a whole header at `header`: the receiving end's own
  // test (protocol/wire_format.h) decides.
  bool MayBeginWithHeader(const std::uint8_t* header, bool whole) const;
  // Opens a skipped run at stream offset `offset`.
  void StartRun(std::uint64_t offset);
  // Adds one byte to the open run.
  void ExtendRun(std::uint8_t byte);
  // Reports the open run when it holds any bytes.
  void EndRun();
  void Emit(Record record);
  // The flag a whole package of this type gets.
  Flag PackageFlag(const Record& record) const;

  const Direction direction_;
  Mode mode_ = Mode::kFront;
  std::vector<std::uint8_t> pending_;  // fed bytes not yet worked through
  std::uint64_t pending_offset_ = 0;   // stream offset of pending_[0]
  Record current_;                     // the package or run being read
  std::uint64_t body_left_ = 0;        // kBody: payload bytes still to come
  bool finished_ = false;
  std::vector<Record> records_;  // completed, not yet taken
  Summary summary_;
};

}  // namespace qvdump

#endif  // QVCTX_TOOLS_DUMP_STREAM_DECODER_H_
