// StreamRecorder: writes each direction of the channel to a file of its own.
#ifndef QVCTX_SIM_STREAM_RECORDER_H_
#define QVCTX_SIM_STREAM_RECORDER_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <mutex>
#include <string>

namespace wfsim {

// The files hold exactly the channel's bytes, nothing added, so qvctx-dump
// (or any other decoder) reads them as the receiving end would:
//   PREFIX.server.bin  what the server wrote, toward the client
//   PREFIX.client.bin  what the client sent, toward the server
// Each piece is flushed as it is recorded, so the files are whole even when
// the process is killed. Thread-safe.
class StreamRecorder {
 public:
  enum Direction { kFromServer, kFromClient };
  // The endings of the two files' names, after PREFIX.
  static constexpr char kServerSuffix[] = ".server.bin";
  static constexpr char kClientSuffix[] = ".client.bin";

  // Creates (or empties) both files. Null with `error` set when either cannot
  // be opened.
  static std::unique_ptr<StreamRecorder> Open(const std::string& prefix,
                                              std::string* error);
  ~StreamRecorder();
  StreamRecorder(const StreamRecorder&) = delete;
  StreamRecorder& operator=(const StreamRecorder&) = delete;

  void Record(Direction direction, const std::uint8_t* data, std::size_t size);

 private:
  StreamRecorder(std::FILE* from_server, std::FILE* from_client)
      : from_server_(from_server), from_client_(from_client) {}

  std::mutex mutex_;
  std::FILE* from_server_;
  std::FILE* from_client_;
};

}  // namespace wfsim

#endif  // QVCTX_SIM_STREAM_RECORDER_H_
