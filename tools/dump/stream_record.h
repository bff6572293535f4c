// What the decoder reports about one stretch of a recorded stream: a package
// (or what begins like one) or a run of bytes that begins none.
#ifndef QVCTX_TOOLS_DUMP_STREAM_RECORD_H_
#define QVCTX_TOOLS_DUMP_STREAM_RECORD_H_

#include <cstddef>
#include <cstdint>
#include <vector>

namespace qvdump {

// Which end wrote the recorded bytes.
enum class Direction {
  kServerToClient,  // written by qvctx, read by the client
  kClientToServer,  // written by the client, read by qvctx's reader
};

// How the receiving end treats the front that a record stands for.
enum class Flag {
  kNone,
  // client>server: bytes that fail the reader's header test; they stay at
  // the front of its buffer and hold back everything after them until the
  // buffer overflows and is emptied.
  kRefusedNotHeader,
  // client>server: a header with a datasize below the header size; the
  // reader logs it and empties its buffer.
  kInvalidDatasize,
  // client>server: a datasize larger than the reader's buffer, so the
  // package can never complete.
  kNeverCompletes,
  // client>server: FNCTyp 0 or 3; the reader logs it and consumes the
  // package without a callback.
  kInvalidHeader,
  // server>client: bytes that begin no package; the client skips them one
  // at a time.
  kUnframed,
  // server>client: a datasize below the header size or above the receive
  // buffer's; the client does not take it for a header and skips its bytes
  // as unframed.
  kUnframedDatasize,
  // server>client: FNCTyp 1, 2 or 3, which the server does not send.
  kUnusualType,
  // server>client: a call with messageID 0; the client gives it no answer.
  kNoAnswer,
  // The end of the recording cut the package (or its header) off.
  kIncomplete,
};

struct Record {
  enum class Kind {
    kPackage,  // a header (whole or cut off) and the payload behind it
    kSkipped,  // a run of bytes that begins no package
  };
  Kind kind = Kind::kPackage;
  std::uint64_t offset = 0;  // of the first byte, in the stream
  std::uint64_t length = 0;  // bytes of the stream the record covers
  // How many header bytes the stream holds (up to 34); a field is known when
  // it lies wholly within them.
  std::size_t header_bytes = 0;
  std::uint16_t fnc_typ = 0;
  std::uint16_t magic = 0;
  std::uint32_t message_id = 0;
  std::uint32_t datasize = 0;
  std::uint32_t first_stamp = 0;  // ulTimeStamps[0]
  // The first payload bytes (a package) or the first bytes of the run (up
  // to kPreviewSize).
  std::vector<std::uint8_t> preview;
  Flag flag = Flag::kNone;
  // kIncomplete: the bytes the package would need (its datasize, or the
  // header size while the datasize is unknown or too small).
  std::uint64_t expected = 0;
};

// Payload bytes kept for the preview.
constexpr std::size_t kPreviewSize = 16;

// Counts over the whole stream.
struct Summary {
  std::uint64_t packages = 0;       // package records, cut off ones included
  std::uint64_t bytes = 0;          // bytes fed
  std::uint64_t flagged = 0;        // records with a flag
  std::uint64_t skipped_bytes = 0;  // bytes in skipped runs
};

}  // namespace qvdump

#endif  // QVCTX_TOOLS_DUMP_STREAM_RECORD_H_
