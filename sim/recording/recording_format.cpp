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

// `text` as a whole decimal number of 32 bits; false for anything else.
bool ParseDecimal(const std::string& text, std::uint32_t* value) {
  if (text.empty() || text.size() > 10) return false;
  std::uint64_t number = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    number = number * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (number > UINT32_MAX) return false;
  *value = static_cast<std::uint32_t>(number);
  return true;
}

// The last '.'-separated part of `*name`, taken off it; empty when there is
// no '.' left.
std::string TakeLastPart(std::string* name) {
  const std::size_t dot = name->find_last_of('.');
  if (dot == std::string::npos) return "";
  std::string part = name->substr(dot + 1);
  name->resize(dot);
  return part;
}

}  // namespace

std::string ProcessRecordingPrefix(const std::string& prefix,
                                   const RecordingProcess& process,
                                   std::uint32_t attempt) {
  std::string name = prefix + ".p" + std::to_string(process.process_id);
  if (process.has_session) name += ".s" + std::to_string(process.session_id);
  if (attempt > 1) name += "." + std::to_string(attempt);
  return name;
}

bool ParseProcessRecordingPrefix(const std::string& prefix,
                                 RecordingProcess* process) {
  std::string name = prefix.substr(prefix.find_last_of("/\\") + 1);
  std::string part = TakeLastPart(&name);
  std::uint32_t number = 0;
  if (ParseDecimal(part, &number)) part = TakeLastPart(&name);  // an attempt
  RecordingProcess found;
  if (part.size() > 1 && part[0] == 's' &&
      ParseDecimal(part.substr(1), &found.session_id)) {
    found.has_session = true;
    part = TakeLastPart(&name);
  }
  if (part.size() < 2 || part[0] != 'p' ||
      !ParseDecimal(part.substr(1), &found.process_id)) {
    return false;
  }
  *process = found;
  return true;
}

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
