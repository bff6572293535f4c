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
#include <cstdlib>

#include "receiver_model.h"

namespace {

using qvctx_fuzz::Bytes;
using qvctx_fuzz::Harness;
using qvctx_fuzz::Input;
using qvctx_fuzz::kWriteLimit;

constexpr std::size_t kMaxFiller = kWriteLimit;
// Fillers of a megabyte or more per input; later ones are 2044 bytes, so an
// input costs at most a few full-buffer copies.
constexpr int kBigFillersPerInput = 3;

const std::uint8_t* Filler() {
  static const Bytes filler(kMaxFiller, 0x5A);
  return filler.data();
}

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
