#include <dlfcn.h>

#include "host_library.h"

namespace qvctx_host {

HostLibrary::~HostLibrary() { Close(); }

bool HostLibrary::Open(const std::string& path) {
  Close();
  path_ = path;
  // Local binding: qvctx looks its platform functions up through its own
  // handle, so nothing needs to be global.
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
    const char* message = dlerror();
    error_ = message != nullptr ? message : "dlopen failed";
    return false;
  }
  error_.clear();
  return true;
}

void HostLibrary::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* HostLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace qvctx_host
