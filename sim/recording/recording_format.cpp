#include "wfsim/recording/recording_format.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

#include "protocol/wire_format.h"

namespace wfsim {

namespace {

// Untimed files are handed out in pieces of this size.
constexpr std::size_t kRawPieceSize = 1 << 20;

std::uint64_t Load64(const std::uint8_t* p) {
  return static_cast<std::uint64_t>(qvctx::LoadLe32(p)) |
         (static_cast<std::uint64_t>(qvctx::LoadLe32(p + 4)) << 32);
}

}  // namespace

std::uint64_t RecordingClock() {
  return static_cast<std::uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(
          std::chrono::system_clock::now().time_since_epoch())
          .count());
}

RecordingReader::~RecordingReader() {
  if (file_ != nullptr) std::fclose(file_);
}

bool RecordingReader::Open(const std::string& path, std::string* error) {
  file_ = std::fopen(path.c_str(), "rb");
  if (file_ == nullptr) {
    *error = "cannot open " + path + ": " +
             std::error_code(errno, std::generic_category()).message();
    return false;
  }
  head_.resize(kRecordingHeaderSize);
  head_.resize(ReadFully(head_.data(), head_.size()));
  timed_ = head_.size() >= kRecordingMagicSize &&
           std::memcmp(head_.data(), kRecordingMagic, kRecordingMagicSize) == 0;
  if (!timed_) return true;  // head_ holds the stream's first bytes
  if (head_.size() < kRecordingHeaderSize) {
    truncated_bytes_ = head_.size();
    head_.clear();
    return true;
  }
  const std::uint32_t version = qvctx::LoadLe32(head_.data() + 8);
  direction_ = qvctx::LoadLe32(head_.data() + 12);
  head_.clear();
  if (version != kRecordingVersion) {
    *error = path + ": recording format version " + std::to_string(version) +
             ", this reader knows " + std::to_string(kRecordingVersion);
    return false;
  }
  if (direction_ != kRecordedFromServer && direction_ != kRecordedFromClient) {
    *error = path + ": unknown direction " + std::to_string(direction_);
    return false;
  }
  return true;
}

std::size_t RecordingReader::ReadFully(std::uint8_t* data, std::size_t size) {
  const std::size_t got = std::fread(data, 1, size, file_);
  if (got < size && std::ferror(file_) != 0) read_error_ = true;
  return got;
}

bool RecordingReader::Next(RecordedChunk* chunk) {
  if (file_ == nullptr || read_error_ || truncated()) return false;
  chunk->micros = 0;
  if (!timed_) {
    if (!head_.empty()) {
      chunk->bytes.swap(head_);
      head_.clear();
      return true;
    }
    chunk->bytes.resize(kRawPieceSize);
    chunk->bytes.resize(ReadFully(chunk->bytes.data(), kRawPieceSize));
    return !chunk->bytes.empty();
  }
  std::uint8_t header[kChunkHeaderSize];
  const std::size_t got = ReadFully(header, sizeof header);
  if (got < sizeof header) {
    truncated_bytes_ = got;  // 0: a clean end
    return false;
  }
  const std::uint32_t size = qvctx::LoadLe32(header + 8);
  if (size == 0) {  // never written: the file is damaged here
    truncated_bytes_ = got;
    return false;
  }
  chunk->micros = Load64(header);
  // Read in bounded steps, so a damaged count costs no more memory than the
  // file holds.
  chunk->bytes.clear();
  std::size_t left = size;
  while (left > 0) {
    const std::size_t step = left < kRawPieceSize ? left : kRawPieceSize;
    const std::size_t old = chunk->bytes.size();
    chunk->bytes.resize(old + step);
    const std::size_t read = ReadFully(chunk->bytes.data() + old, step);
    if (read < step) {
      truncated_bytes_ = kChunkHeaderSize + old + read;
      chunk->bytes.clear();
      return false;
    }
    left -= step;
  }
  return true;
}

}  // namespace wfsim
