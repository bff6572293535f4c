#include "size_sequence.h"

namespace qvctx_host {

namespace {

// Any constant will do; it only has to stay the same.
constexpr std::uint64_t kSeed = 0x71766374780001ULL;

}  // namespace

SizeSequence::SizeSequence(std::uint32_t low, std::uint32_t high)
    : low_(low),
      span_(static_cast<std::uint64_t>(high) - low + 1),
      state_(kSeed) {}

std::uint32_t SizeSequence::Next() {
  state_ += 0x9E3779B97F4A7C15ULL;
  std::uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  z ^= z >> 31;
  // The span is below 2^24, so the modulo's bias is far below anything a
  // demo could notice.
  return low_ + static_cast<std::uint32_t>(z % span_);
}

std::vector<std::uint32_t> SizeSequence::Draw(std::uint32_t low,
                                              std::uint32_t high,
                                              std::uint32_t count) {
  SizeSequence sequence(low, high);
  std::vector<std::uint32_t> sizes(count);
  for (std::uint32_t& size : sizes) size = sequence.Next();
  // Both ends of the range always go out: the smallest and the largest
  // package are where a size bug shows first.
  if (count >= 2 && low != high) {
    sizes[0] = low;
    sizes[1] = high;
  }
  return sizes;
}

}  // namespace qvctx_host
