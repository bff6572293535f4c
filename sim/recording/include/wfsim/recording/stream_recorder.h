// StreamRecorder: writes each direction of the channel to a file of its own,
// with the time of every read and write.
#ifndef QVCTX_SIM_RECORDING_STREAM_RECORDER_H_
#define QVCTX_SIM_RECORDING_STREAM_RECORDER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

#include "wfsim/recording/recording_format.h"

namespace wfsim {

// Writes a timed recording (recording_format.h): two files per prefix,
//   PREFIX.server.bin  what the server wrote, toward the client
//   PREFIX.client.bin  what the client sent, toward the server
// each a file header and one chunk per read or write that moved bytes, time
// stamped when Record() is called (right after the read or write returned).
// Each chunk is flushed as it is recorded, so the files are whole up to the
// last chunk even when the process is killed. A recording is never in the
// way of the channel: after any failed write (a full disk, a removed drive)
// the recorder stops, silently, and Record() does nothing. Thread-safe.
class StreamRecorder {
 public:
  enum Direction { kFromServer, kFromClient };
  // The endings of the two files' names, after PREFIX.
  static constexpr const char* kServerSuffix = kRecordingServerSuffix;
  static constexpr const char* kClientSuffix = kRecordingClientSuffix;

  // Creates (or empties) both files and writes their headers. Null with
  // `error` set when either cannot be created.
  static std::unique_ptr<StreamRecorder> Open(const std::string& prefix,
                                              std::string* error);
  // Creates both files only when neither exists, so it never empties a file
  // someone else writes. Null with `error` set when either cannot be
  // created, and with `*taken` set when that is because one of them exists
  // (nothing is left behind then).
  static std::unique_ptr<StreamRecorder> CreateNew(const std::string& prefix,
                                                   std::string* error,
                                                   bool* taken);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  void Record(Direction direction, const std::uint8_t* data, std::size_t size);

  // False once a write failed and the recorder stopped.
  bool recording() const;

 private:
  StreamRecorder(std::FILE* from_server, std::FILE* from_client)
      : from_server_(from_server), from_client_(from_client) {}
  static std::unique_ptr<StreamRecorder> Create(const std::string& prefix,
                                                bool only_new,
                                                std::string* error,
                                                bool* taken);

  mutable std::mutex mutex_;
  std::FILE* from_server_;
  std::FILE* from_client_;
  bool failed_ = false;  // guarded by mutex_
};

}  // namespace wfsim

#endif  // QVCTX_SIM_RECORDING_STREAM_RECORDER_H_
