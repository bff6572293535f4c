#include <dlfcn.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "tap_system.h"

namespace qvtap {

std::uint32_t LastError() { return static_cast<std::uint32_t>(errno); }

void SetLastError(std::uint32_t code) { errno = static_cast<int>(code); }

std::string OwnPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnPath), &info) == 0 ||
      info.dli_fname == nullptr) {
    return "";
  }
  return info.dli_fname;
}

bool IsOwnCode(const void* address) {
  Dl_info own{};
  Dl_info other{};
  return dladdr(reinterpret_cast<void*>(&OwnPath), &own) != 0 &&
         dladdr(address, &other) != 0 && own.dli_fbase == other.dli_fbase;
}

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
