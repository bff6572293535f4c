#include "wfsim/recording/stream_recorder.h"

#include <fcntl.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

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

// Opens `path` for writing when no file of that name exists yet; null with
// errno set (EEXIST: it exists) otherwise.
std::FILE* OpenNewFile(const std::string& path) {
#ifdef _WIN32
  const int descriptor =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY,
            _S_IREAD | _S_IWRITE);
  if (descriptor < 0) return nullptr;
  std::FILE* const file = _fdopen(descriptor, "wb");
  if (file == nullptr) _close(descriptor);
#else
  const int descriptor =
      open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (descriptor < 0) return nullptr;
  std::FILE* const file = fdopen(descriptor, "wb");
  if (file == nullptr) close(descriptor);
#endif
  return file;
}

// Creates `path` (only when it does not exist yet, with `only_new`) and
// writes the file header; null with `error` set, and `*exists` when that is
// because the file exists.
std::FILE* CreateRecordingFile(const std::string& path, std::uint32_t direction,
                               bool only_new, std::string* error,
                               bool* exists) {
  std::FILE* const file =
      only_new ? OpenNewFile(path) : std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    *exists = errno == EEXIST;
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
  bool taken = false;
  return Create(prefix, false, error, &taken);
}

std::unique_ptr<StreamRecorder> StreamRecorder::CreateNew(
    const std::string& prefix, std::string* error, bool* taken) {
  return Create(prefix, true, error, taken);
}

std::unique_ptr<StreamRecorder> StreamRecorder::Create(
    const std::string& prefix, bool only_new, std::string* error, bool* taken) {
  *taken = false;
  const std::string server = prefix + kServerSuffix;
  std::FILE* const from_server =
      CreateRecordingFile(server, kRecordedFromServer, only_new, error, taken);
  if (from_server == nullptr) return nullptr;
  std::FILE* const from_client = CreateRecordingFile(
      prefix + kClientSuffix, kRecordedFromClient, only_new, error, taken);
  if (from_client == nullptr) {
    std::fclose(from_server);
    // Only a file this call created goes: nobody else had it.
    if (only_new) std::remove(server.c_str());
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
