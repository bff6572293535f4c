// The receiver under fuzzing and the plain reference model it is checked
// against, shared by the fuzz targets of the receiver: the same fill
// position, the same bytes buffered, and the same packages handed out, whole,
// once and in order, after every step. Any difference aborts.
#ifndef QVCTX_FUZZ_RECEIVER_MODEL_H_
#define QVCTX_FUZZ_RECEIVER_MODEL_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "diagnostics/log_file.h"
#include "protocol/wire_format.h"
#include "transport/package_receiver.h"
#include "transport/shift_buffer_test_helper.h"

namespace qvctx_fuzz {

// The reference model's own constants, written out rather than taken from
// the library, so a wrong constant there shows as a difference.
constexpr std::uint64_t kWriteLimit = 10485726;  // block less the header
constexpr std::size_t kBlockSize = 10485760;
constexpr std::size_t kHeadSize = 34;
// Buffers larger than two windows are compared at both ends only: appends
// change the tail, shifts the head.
constexpr std::size_t kCompareWindow = std::size_t{1} << 16;

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "receiver mismatch: %s\n", what);
  std::abort();
}

inline void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

inline std::uint32_t Le(const Bytes& b, std::size_t at, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width; ++i) {
    value |= static_cast<std::uint32_t>(b[at + i]) << (8 * i);
  }
  return value;
}

// The stream as a growing vector: append at the end, cut packages off the
// front. Nothing is decided until a whole header is there.
class Reference {
 public:
  void Append(const std::uint8_t* piece, std::int64_t count) {
    if (piece == nullptr || count <= 0 ||
        static_cast<std::uint64_t>(count) >= kWriteLimit - bytes_.size()) {
      bytes_.clear();
      return;
    }
    bytes_.insert(bytes_.end(), piece, piece + count);
  }

  std::vector<Bytes> Drain(std::size_t at_most) {
    std::vector<Bytes> out;
    while (out.size() < at_most && bytes_.size() >= kHeadSize) {
      const std::uint32_t type = Le(bytes_, 0, 2);
      const std::uint32_t magic = Le(bytes_, 2, 2);
      const std::uint32_t id = Le(bytes_, 4, 4);
      const std::uint32_t size = Le(bytes_, 8, 4);
      if (type > 3 || magic != 10001 || id == 0) break;
      if (size < kHeadSize) {
        bytes_.clear();
        break;
      }
      if (bytes_.size() < size) break;
      out.emplace_back(bytes_.begin(), bytes_.begin() + size);
      bytes_.erase(bytes_.begin(), bytes_.begin() + size);
    }
    return out;
  }

  const Bytes& bytes() const { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  Bytes bytes_;
};

// Reads the operations off the input.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size)
      : data_(data), size_(size) {}
  bool empty() const { return at_ == size_; }
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  std::uint16_t Word() {
    const std::uint16_t low = Byte();
    return static_cast<std::uint16_t>(low | (Byte() << 8));
  }
  // Up to `count` bytes of the input; fewer at its end.
  const std::uint8_t* Take(std::size_t count, std::size_t* taken) {
    *taken = count < size_ - at_ ? count : size_ - at_;
    const std::uint8_t* start = data_ + at_;
    at_ += *taken;
    return start;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// The receiver and the model side by side.
class Harness {
 public:
  std::size_t Position() const { return reference_.bytes().size(); }

  // Empties both sides, for the next input.
  void Reset() {
    receiver_.buffer().ClearData();
    reference_.Clear();
  }

  // An odd piece a channel read could bring goes in as the reader takes it:
  // read straight into the receiver's room when it gives one.
  void Append(const std::uint8_t* piece, std::int32_t count) {
    char* const room = piece != nullptr && count > 0 && count % 2 == 1 &&
                               count <= qvctx::kChannelReadSize
                           ? receiver_.RoomForPiece()
                           : nullptr;
    if (room != nullptr) {
      std::memcpy(room, piece, static_cast<std::size_t>(count));
      receiver_.PieceRead(static_cast<std::uint32_t>(count));
    } else {
      receiver_.Append(reinterpret_cast<const char*>(piece), count);
    }
    reference_.Append(piece, count);
    Compare();
  }

  void Drain(std::size_t at_most) {
    std::vector<Bytes> delivered;
    std::size_t allowed = at_most;
    const std::size_t count = receiver_.DrainCompletePackages(
        [&](const qvctx::PackageView& view) {
          const std::uint8_t* package = view.bytes;
          const std::uint32_t length = view.size;
          Check(package == receiver_.buffer().GetData(),
                "package not at the buffer's front");
          Check(length == qvctx::ReadDatasize(package) &&
                    view.type == qvctx::ReadFncTyp(package) &&
                    view.message_id == qvctx::ReadMessageId(package),
                "view differs from the header");
          Check(length >= kHeadSize, "package shorter than its header");
          Check(length <= receiver_.buffer().Position(),
                "package longer than what is buffered");
          Check(length <= kBlockSize, "package beyond the block");
          delivered.emplace_back(package, package + length);
        },
        [&allowed] { return allowed-- > 0; });
    const std::vector<Bytes> expected = reference_.Drain(at_most);
    Check(count == delivered.size(), "count differs from the calls");
    Check(delivered.size() == expected.size(), "number of packages differs");
    for (std::size_t i = 0; i < expected.size(); ++i) {
      Check(delivered[i] == expected[i], "package bytes differ");
    }
    Compare();
  }

 private:
  void Compare() {
    const Bytes& expected = reference_.bytes();
    const std::size_t size = expected.size();
    Check(receiver_.buffer().Position() == size, "fill position differs");
    const std::uint8_t* data = receiver_.buffer().GetData();
    // The last 35 bytes of the block are never written.
    Check(data + size <=
              qvctx::LastShiftBufferBlockForTesting() + kWriteLimit - 1,
          "bytes beyond the write limit");
    if (size <= 2 * kCompareWindow) {
      Check(size == 0 || std::memcmp(data, expected.data(), size) == 0,
            "buffered bytes differ");
      return;
    }
    const std::size_t tail = size - kCompareWindow;
    Check(std::memcmp(data, expected.data(), kCompareWindow) == 0 &&
              std::memcmp(data + tail, expected.data() + tail,
                          kCompareWindow) == 0,
          "buffered bytes differ");
  }

  qvctx::CPackageReceiver receiver_{qvctx::ProcessLogWriter()};
  Reference reference_;
};

}  // namespace qvctx_fuzz

#endif  // QVCTX_FUZZ_RECEIVER_MODEL_H_
