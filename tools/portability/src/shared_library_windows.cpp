#include <windows.h>

#include "qvctx_port/shared_library.h"

namespace qvctx_port {

SharedLibrary::~SharedLibrary() { Close(); }

bool SharedLibrary::Open(const std::string& path, Search search) {
  Close();
  path_ = path;
  const bool beside = search == Search::kBesideLibrary;
  handle_ = beside ? LoadLibraryExA(path.c_str(), nullptr,
                                    LOAD_WITH_ALTERED_SEARCH_PATH)
                   : LoadLibraryA(path.c_str());
  if (handle_ == nullptr) {
    error_ = std::string(beside ? "LoadLibrary" : "LoadLibraryA") +
             " failed with error " + std::to_string(GetLastError());
    return false;
  }
  error_.clear();
  return true;
}

void SharedLibrary::Close() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
  handle_ = nullptr;
}

void* SharedLibrary::Symbol(const char* name) const {
  if (handle_ == nullptr) return nullptr;
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(handle_), name));
}

}  // namespace qvctx_port
