#include <windows.h>

#include "host_library.h"

namespace qvctx_host {

HostLibrary::~HostLibrary() { Close(); }

bool HostLibrary::Open(const std::string& path) {
  Close();
  path_ = path;
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    error_ = "LoadLibraryA failed with error " + std::to_string(GetLastError());
    return false;
  }
  error_.clear();
  return true;
}

void HostLibrary::Close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* HostLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace qvctx_host
