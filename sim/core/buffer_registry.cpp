#include "buffer_registry.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace wfsim {

BufferRegistry::~BufferRegistry() {
  for (void* buffer : held_) std::free(buffer);
  for (void* buffer : retired_) std::free(buffer);
}

void* BufferRegistry::Allocate(const void* contents, std::size_t size) {
  void* buffer = std::malloc(size == 0 ? 1 : size);
  if (buffer == nullptr) return nullptr;
  std::memcpy(buffer, contents, size);
  try {
    held_.insert(buffer);
  } catch (const std::bad_alloc&) {
    std::free(buffer);
    return nullptr;
  }
  return buffer;
}

bool BufferRegistry::Release(void* buffer) {
  if (held_.erase(buffer) == 0 && retired_.erase(buffer) == 0) return false;
  std::free(buffer);
  return true;
}

void BufferRegistry::RetireAll() {
  // The retired set only grows by what a caller never released.
  retired_.insert(held_.begin(), held_.end());
  held_.clear();
}

}  // namespace wfsim
