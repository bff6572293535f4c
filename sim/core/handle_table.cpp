#include "handle_table.h"

namespace wfsim {

std::uintptr_t HandleTable::Open(std::uint64_t connection) {
  while (next_ == 0 || IsOpen(next_)) next_ += kStep;
  const std::uintptr_t handle = next_;
  open_.emplace(handle, connection);
  next_ += kStep;
  return handle;
}

bool HandleTable::IsOpen(std::uintptr_t handle) const {
  return open_.count(handle) != 0;
}

bool HandleTable::Close(std::uintptr_t handle) {
  return open_.erase(handle) != 0;
}

bool HandleTable::SetNext(std::uintptr_t value) {
  if (value == 0) return false;
  next_ = value;
  return true;
}

}  // namespace wfsim
