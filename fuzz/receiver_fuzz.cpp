// Feeds arbitrary byte streams, cut into arbitrary pieces, through the package
// receiver and checks every step against a plain reference model of the
// stream: the same fill position, the same bytes buffered, and the same
// packages handed out, whole, once and in order. Any difference aborts.
//
// The input is a list of operations, each starting with a control byte c:
//   c % 8 = 0..3  a piece: two bytes give its size, 1 + s % 2044 (kind 3:
//                 1 + s % 8192), and the next bytes are its contents. Kind 1
//                 then drains everything, kind 2 drains at most c >> 3
//                 packages, kinds 0 and 3 do not drain (3 drains everything).
//   c % 8 = 4     drain at most c >> 3 packages
//   c % 8 = 5     a filler piece at the buffer's limit: (c >> 3) % 4 picks
//                 the largest piece that fits, the smallest that does not,
//                 1 MiB, or 2044 bytes (always 2044 after three big ones)
//   c % 8 = 6     a refused append: null source, count 0 or a negative count
//   c % 8 = 7     drain everything
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "transport/package_receiver.h"

namespace {

// The reference model's own constants, written out rather than taken from
// the library, so a wrong constant there shows as a difference.
constexpr std::uint64_t kWriteLimit = 10485726;  // block less the header
constexpr std::size_t kBlockSize = 10485760;
constexpr std::size_t kHeadSize = 34;
constexpr std::size_t kMaxFiller = kWriteLimit;
// Fillers of a megabyte or more per input; later ones are 2044 bytes, so an
// input costs at most a few full-buffer copies.
constexpr int kBigFillersPerInput = 3;
// Buffers larger than two windows are compared at both ends only: appends
// change the tail, shifts the head.
constexpr std::size_t kCompareWindow = std::size_t{1} << 16;

using Bytes = std::vector<std::uint8_t>;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "receiver mismatch: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

std::uint32_t Le(const Bytes& b, std::size_t at, std::size_t width) {
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

const std::uint8_t* Filler() {
  static const Bytes filler(kMaxFiller, 0x5A);
  return filler.data();
}

class Harness {
 public:
  std::size_t Position() const { return reference_.bytes().size(); }

  void Append(const std::uint8_t* piece, std::int32_t count) {
    receiver_.Append(reinterpret_cast<const char*>(piece), count);
    reference_.Append(piece, count);
    Compare();
  }

  void Drain(std::size_t at_most) {
    std::vector<Bytes> delivered;
    std::size_t allowed = at_most;
    const std::uint8_t* block = receiver_.buffer().GetData();
    const std::size_t count = receiver_.DrainCompletePackages(
        [&](const std::uint8_t* package, std::uint32_t length) {
          Check(package == block, "package not at the start of the block");
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

  qvctx::CPackageReceiver receiver_;
  Reference reference_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Refused writes are logged; with no log folder the writer drops every line
  // at once, so the run neither slows down nor fills a disk. Runs before any
  // other thread exists.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  setenv("QVCTX_DRIVE_C", "/nonexistent/qvctx-fuzz-drive", 0);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  Harness harness;
  Input input(data, size);
  int big_fillers = kBigFillersPerInput;
  while (!input.empty()) {
    const std::uint8_t c = input.Byte();
    const std::size_t kind = c % 8;
    const std::size_t arg = c >> 3;
    switch (kind) {
      case 0:
      case 1:
      case 2:
      case 3: {
        const std::size_t span = kind == 3 ? 8192 : 2044;
        std::size_t taken = 0;
        const std::uint8_t* piece = input.Take(1 + input.Word() % span, &taken);
        if (taken == 0) break;
        harness.Append(piece, static_cast<std::int32_t>(taken));
        if (kind == 1 || kind == 3) harness.Drain(SIZE_MAX);
        if (kind == 2) harness.Drain(arg);
        break;
      }
      case 4:
        harness.Drain(arg);
        break;
      case 5: {
        // The filler is 0x5A bytes: never a header by itself.
        const std::size_t pos = harness.Position();
        std::size_t count = 2044;
        if (arg % 4 != 3 && big_fillers > 0) {
          --big_fillers;
          if (arg % 4 == 0) count = kWriteLimit - 1 - pos;
          if (arg % 4 == 1) count = kWriteLimit - pos;
          if (arg % 4 == 2) count = std::size_t{1} << 20;
        }
        harness.Append(Filler(), static_cast<std::int32_t>(count));
        break;
      }
      case 6: {
        static const std::uint8_t some[8] = {};
        if (arg % 3 == 0) harness.Append(nullptr, 5);
        if (arg % 3 == 1) harness.Append(some, 0);
        if (arg % 3 == 2) harness.Append(some, -static_cast<std::int32_t>(arg));
        break;
      }
      default:
        harness.Drain(SIZE_MAX);
        break;
    }
  }
  return 0;
}
