#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

#include "qvctx_port/process.h"

namespace qvctx_port {

std::uint32_t LastError() { return static_cast<std::uint32_t>(errno); }

void SetLastError(std::uint32_t code) { errno = static_cast<int>(code); }

std::string OwnModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 ||
      info.dli_fname == nullptr) {
    return "";
  }
  return info.dli_fname;
}

bool IsInOwnModule(const void* address) {
  Dl_info own{};
  Dl_info other{};
  return dladdr(reinterpret_cast<void*>(&OwnModulePath), &own) != 0 &&
         dladdr(address, &other) != 0 && own.dli_fbase == other.dli_fbase;
}

std::uint32_t ProcessId() { return static_cast<std::uint32_t>(getpid()); }

// A POSIX session (getsid) is a group of processes under one terminal, not
// a user's remote session: there is none to tell.
bool SessionId(std::uint32_t* /*id*/) { return false; }

}  // namespace qvctx_port
