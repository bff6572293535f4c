// The sizes of a run's calls: drawn from a generator with a fixed seed, so
// the same options send the same sizes on every run and every build.
#ifndef QVCTX_TOOLS_HOST_SIZE_SEQUENCE_H_
#define QVCTX_TOOLS_HOST_SIZE_SEQUENCE_H_

#include <cstdint>
#include <vector>

namespace qvctx_host {

class SizeSequence {
 public:
  // Sizes from `low` to `high`, both included.
  SizeSequence(std::uint32_t low, std::uint32_t high);

  // The next size of the sequence.
  std::uint32_t Next();

  // `count` sizes: `low` and `high` first (when there are two or more and
  // they differ), then the sequence's.
  static std::vector<std::uint32_t> Draw(std::uint32_t low, std::uint32_t high,
                                         std::uint32_t count);

 private:
  std::uint32_t low_;
  std::uint64_t span_;   // high - low + 1
  std::uint64_t state_;  // the generator's state (splitmix64)
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_SIZE_SEQUENCE_H_
