#include <cstdio>
#include <cstdlib>

#include "tap_system.h"

namespace qvtap {

std::string Environment(const char* name) {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): read once, under the tap's lock
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

std::string DefaultTargetPath() { return ""; }

void Announce(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace qvtap
