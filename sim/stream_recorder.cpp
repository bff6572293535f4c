#include "stream_recorder.h"

#include <cerrno>
#include <system_error>

namespace wfsim {

namespace {

// The system's text for errno, without the shared buffer of strerror.
std::string ErrnoText() {
  return std::error_code(errno, std::generic_category()).message();
}

}  // namespace

std::unique_ptr<StreamRecorder> StreamRecorder::Open(const std::string& prefix,
                                                     std::string* error) {
  const std::string server_path = prefix + kServerSuffix;
  const std::string client_path = prefix + kClientSuffix;
  std::FILE* const from_server = std::fopen(server_path.c_str(), "wb");
  if (from_server == nullptr) {
    *error = "cannot create " + server_path + ": " + ErrnoText();
    return nullptr;
  }
  std::FILE* const from_client = std::fopen(client_path.c_str(), "wb");
  if (from_client == nullptr) {
    *error = "cannot create " + client_path + ": " + ErrnoText();
    std::fclose(from_server);
    return nullptr;
  }
  return std::unique_ptr<StreamRecorder>(
      new StreamRecorder(from_server, from_client));
}

StreamRecorder::~StreamRecorder() {
  std::fclose(from_server_);
  std::fclose(from_client_);
}

void StreamRecorder::Record(Direction direction, const std::uint8_t* data,
                            std::size_t size) {
  if (size == 0) return;
  std::lock_guard<std::mutex> hold(mutex_);
  std::FILE* const file =
      direction == kFromServer ? from_server_ : from_client_;
  std::fwrite(data, 1, size, file);
  std::fflush(file);
}

}  // namespace wfsim
