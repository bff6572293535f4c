// The receiver alone on small inputs, for many executions a second: short
// pieces, packages of at most a few hundred bytes, no fillers. Every step is
// checked against the reference model of receiver_model.h, as in the
// differential target, which covers the buffer's limits.
//
// The input is a list of operations, each starting with a control byte c:
//   c % 8 = 0..2  a piece of 1 + (c >> 3) bytes of the input; kind 0 then
//                 drains everything, kind 1 drains nothing, kind 2 at most
//                 one package
//   c % 8 = 3     a header of the next four bytes t, i, s, f: FNCTyp t % 5,
//                 magic 10001 (the wrong 10002 when t >= 128), messageID i
//                 (0 stays 0), datasize s % 96, time stamps f; then drains
//                 everything
//   c % 8 = 4     drain at most c >> 3 packages
//   c % 8 = 5     a refused append: null source, count 0 or a negative count
//   c % 8 = 6, 7  drain everything
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "receiver_model.h"

namespace {

using qvctx_fuzz::Harness;
using qvctx_fuzz::Input;

void AppendHeader(Harness& harness, Input& input) {
  const std::uint8_t type = input.Byte();
  const std::uint8_t id = input.Byte();
  const std::uint8_t size = input.Byte() % 96;
  const std::uint8_t stamp = input.Byte();
  const std::uint8_t magic_high = type >= 128 ? 0x28 : 0x27;
  const std::uint8_t head[34] = {static_cast<std::uint8_t>(type % 5),
                                 0,
                                 0x11,
                                 magic_high,
                                 id,
                                 0,
                                 0,
                                 0,
                                 size,
                                 0,
                                 0,
                                 0,
                                 size,
                                 0,
                                 0,
                                 0,
                                 0,
                                 0,
                                 stamp,
                                 stamp,
                                 stamp,
                                 stamp};
  harness.Append(head, sizeof(head));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  // Refused appends and invalid sizes are logged; with no log folder the
  // writer drops every line at once. Runs before any other thread exists.
  // NOLINTNEXTLINE(concurrency-mt-unsafe)
  setenv("QVCTX_DRIVE_C", "/nonexistent/qvctx-fuzz-drive", 0);
  return 0;
}

// Only this much of an input counts, so every execution stays short
// (scripts/fuzz.sh passes it as -max_len as well).
constexpr std::size_t kMaxInput = 512;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  if (size > kMaxInput) size = kMaxInput;
  // One receiver for the whole run, emptied before each input: a new one
  // would map and unmap its 10 MiB block every time. The bytes beyond the
  // fill position that earlier inputs leave are never read, which the model
  // checks as well.
  static auto* const harness = new Harness();
  harness->Reset();
  Input input(data, size);
  while (!input.empty()) {
    const std::uint8_t c = input.Byte();
    const std::size_t kind = c % 8;
    const std::size_t arg = c >> 3;
    switch (kind) {
      case 0:
      case 1:
      case 2: {
        std::size_t taken = 0;
        const std::uint8_t* piece = input.Take(1 + arg, &taken);
        if (taken == 0) break;
        harness->Append(piece, static_cast<std::int32_t>(taken));
        if (kind == 0) harness->Drain(SIZE_MAX);
        if (kind == 2) harness->Drain(1);
        break;
      }
      case 3:
        AppendHeader(*harness, input);
        harness->Drain(SIZE_MAX);
        break;
      case 4:
        harness->Drain(arg);
        break;
      case 5: {
        static const std::uint8_t some[8] = {};
        if (arg % 3 == 0) harness->Append(nullptr, 5);
        if (arg % 3 == 1) harness->Append(some, 0);
        if (arg % 3 == 2)
          harness->Append(some, -static_cast<std::int32_t>(arg));
        break;
      }
      default:
        harness->Drain(SIZE_MAX);
        break;
    }
  }
  return 0;
}
