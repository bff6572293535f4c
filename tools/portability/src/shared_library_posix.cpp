#include <dlfcn.h>

#include "qvctx_port/shared_library.h"

namespace qvctx_port {

SharedLibrary::~SharedLibrary() { Close(); }

bool SharedLibrary::Open(const std::string& path, Search /*search*/) {
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

void SharedLibrary::Close() {
  if (handle_ != nullptr) dlclose(handle_);
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  return handle_ != nullptr ? dlsym(handle_, name) : nullptr;
}

}  // namespace qvctx_port
