// The recording of a "qvctx" channel: two files per prefix, one per direction.
//
// A timed file begins with a 16-byte header:
//   offset 0   8 bytes  "QVCTXREC" (ASCII, no NUL)
//   offset 8   u32 LE   format version, 1
//   offset 12  u32 LE   direction: 0 server>client (the host's writes),
//                                  1 client>server (the host's reads)
// followed by one chunk per read or write that moved bytes:
//   u64 LE  microseconds since the Unix epoch (UTC) when it returned
//   u32 LE  byte count N, above 0
//   N bytes exactly as they went over the channel
// A file that does not begin with "QVCTXREC" is an untimed recording: the
// channel's bytes and nothing else.
#ifndef QVCTX_SIM_RECORDING_RECORDING_FORMAT_H_
#define QVCTX_SIM_RECORDING_RECORDING_FORMAT_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace wfsim {

inline constexpr char kRecordingServerSuffix[] = ".server.bin";
inline constexpr char kRecordingClientSuffix[] = ".client.bin";
inline constexpr char kRecordingMagic[] = "QVCTXREC";  // the first 8 bytes
constexpr std::size_t kRecordingMagicSize = 8;
constexpr std::uint32_t kRecordingVersion = 1;
constexpr std::size_t kRecordingHeaderSize = 16;
constexpr std::size_t kChunkHeaderSize = 12;
constexpr std::uint32_t kRecordedFromServer = 0;
constexpr std::uint32_t kRecordedFromClient = 1;

// Whose recording it is, for the recorder that writes one per process
// (qvctx-tap): the process id, and the session id where the system has one.
struct RecordingProcess {
  std::uint32_t process_id = 0;
  bool has_session = false;
  std::uint32_t session_id = 0;
};

// The prefix of a process's recording: PREFIX.p<pid>, then ".s<session>"
// when it has one, then ".<attempt>" from the second attempt on (a name an
// earlier process of the same id left behind is never reused), e.g.
// "rec.p4242.s2", "rec.p4242.s2.2"; the files add the direction's ending.
std::string ProcessRecordingPrefix(const std::string& prefix,
                                   const RecordingProcess& process,
                                   std::uint32_t attempt);

// What the name of a recording's prefix (its file name without the
// direction's ending) says of its process; false when it does not end as
// ProcessRecordingPrefix makes it.
bool ParseProcessRecordingPrefix(const std::string& prefix,
                                 RecordingProcess* process);

// Microseconds since the Unix epoch, now.
std::uint64_t RecordingClock();

// One read or write of the recording. An untimed file is handed out in
// pieces with time 0.
struct RecordedChunk {
  std::uint64_t micros = 0;
  std::vector<std::uint8_t> bytes;
};

// Reads one file of a recording, timed or not, chunk by chunk in bounded
// memory. A last chunk that the file cuts off (a full disk, a crash) ends the
// reading with truncated() set; the chunks before it are whole.
class RecordingReader {
 public:
  RecordingReader() = default;
  ~RecordingReader();
  RecordingReader(const RecordingReader&) = delete;
  RecordingReader& operator=(const RecordingReader&) = delete;

  // False with `error` set when the file cannot be opened, or is timed with
  // a version or direction this reader does not know.
  bool Open(const std::string& path, std::string* error);

  // The next chunk; false at the end of the file (or after a read error).
  bool Next(RecordedChunk* chunk);

  bool timed() const { return timed_; }
  // kRecordedFromServer or kRecordedFromClient; timed files only.
  std::uint32_t direction() const { return direction_; }
  // The end of the file cut a chunk off: how many of its bytes (header
  // included) the file held.
  bool truncated() const { return truncated_bytes_ != 0; }
  std::uint64_t truncated_bytes() const { return truncated_bytes_; }
  bool read_error() const { return read_error_; }

 private:
  // Reads exactly `size` bytes; returns how many arrived.
  std::size_t ReadFully(std::uint8_t* data, std::size_t size);

  std::FILE* file_ = nullptr;
  bool timed_ = false;
  std::uint32_t direction_ = 0;
  std::vector<std::uint8_t> head_;  // untimed: the bytes read to look for
                                    // the magic, handed out first
  std::uint64_t truncated_bytes_ = 0;
  bool read_error_ = false;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_RECORDING_RECORDING_FORMAT_H_
