#include "wfsim/recording/stream_recorder.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#include "protocol/wire_format.h"

namespace wfsim {

namespace {

// The system's text for errno, without the shared buffer of strerror.
std::string ErrnoText() {
  return std::error_code(errno, std::generic_category()).message();
}

void Store64(std::uint8_t* p, std::uint64_t value) {
  qvctx::StoreLe32(p, static_cast<std::uint32_t>(value));
  qvctx::StoreLe32(p + 4, static_cast<std::uint32_t>(value >> 32));
}

// Creates `path` and writes the file header; null with `error` set.
std::FILE* CreateRecordingFile(const std::string& path, std::uint32_t direction,
                               std::string* error) {
  std::FILE* const file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *error = "cannot create " + path + ": " + ErrnoText();
    return nullptr;
  }
  std::uint8_t header[kRecordingHeaderSize];
  std::memcpy(header, kRecordingMagic, kRecordingMagicSize);
  qvctx::StoreLe32(header + 8, kRecordingVersion);
  qvctx::StoreLe32(header + 12, direction);
  if (std::fwrite(header, 1, sizeof header, file) != sizeof header ||
      std::fflush(file) != 0) {
    *error = "cannot write " + path + ": " + ErrnoText();
    std::fclose(file);
    return nullptr;
  }
  return file;
}

}  // namespace

std::unique_ptr<StreamRecorder> StreamRecorder::Open(const std::string& prefix,
                                                     std::string* error) {
  std::FILE* const from_server =
      CreateRecordingFile(prefix + kServerSuffix, kRecordedFromServer, error);
  if (from_server == nullptr) return nullptr;
  std::FILE* const from_client =
      CreateRecordingFile(prefix + kClientSuffix, kRecordedFromClient, error);
  if (from_client == nullptr) {
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
  const std::uint64_t now = RecordingClock();
  std::lock_guard<std::mutex> hold(mutex_);
  if (failed_) return;
  std::FILE* const file =
      direction == kFromServer ? from_server_ : from_client_;
  // A chunk's count is 32 bits; longer pieces (never from the channel's
  // operations) become several chunks of the same time.
  while (size > 0 && !failed_) {
    const std::size_t piece = size < 0x80000000u ? size : 0x80000000u;
    std::uint8_t header[kChunkHeaderSize];
    Store64(header, now);
    qvctx::StoreLe32(header + 8, static_cast<std::uint32_t>(piece));
    failed_ = std::fwrite(header, 1, sizeof header, file) != sizeof header ||
              std::fwrite(data, 1, piece, file) != piece ||
              std::fflush(file) != 0;
    data += piece;
    size -= piece;
  }
}

bool StreamRecorder::recording() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return !failed_;
}

}  // namespace wfsim
