// The payload pattern of the sample host's calls. Both ends know it, so the
// client can check every byte of a call it receives and the host every byte
// of the answer, without either side keeping a copy of what was sent.
#ifndef QVCTX_TOOLS_COMMON_DEMO_PATTERN_H_
#define QVCTX_TOOLS_COMMON_DEMO_PATTERN_H_

#include <cstddef>
#include <cstdint>

namespace qvctx_tools {

// The byte at `offset` (counted from the package's first byte, so payload
// offsets start at 34) of a call with `message_id`.
inline std::uint8_t PatternByte(std::uint32_t message_id, std::size_t offset) {
  return static_cast<std::uint8_t>(message_id * 7u +
                                   static_cast<std::uint32_t>(offset));
}

// Fills bytes [from, to) of `package` with the pattern.
inline void FillPattern(std::uint32_t message_id, std::uint8_t* package,
                        std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    package[i] = PatternByte(message_id, i);
  }
}

// The first offset in [from, to) whose byte breaks the pattern; `to` when
// every byte holds.
inline std::size_t FirstPatternMismatch(std::uint32_t message_id,
                                        const std::uint8_t* package,
                                        std::size_t from, std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (package[i] != PatternByte(message_id, i)) return i;
  }
  return to;
}

}  // namespace qvctx_tools

#endif  // QVCTX_TOOLS_COMMON_DEMO_PATTERN_H_
