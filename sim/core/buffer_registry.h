// BufferRegistry: the buffers the two queries hand out.
#ifndef QVCTX_SIM_CORE_BUFFER_REGISTRY_H_
#define QVCTX_SIM_CORE_BUFFER_REGISTRY_H_

#include <cstddef>
#include <unordered_set>

namespace wfsim {

// Each buffer belongs to the simulator until WFFreeMemory releases it; only
// pointers handed out here are ever freed, so a foreign or repeated pointer
// is harmless. A reset retires the held buffers instead of freeing them: they
// stop counting, but their memory stays reserved until WFFreeMemory, so no new
// buffer can take the address of one that a caller still holds and release
// it by mistake. Not thread-safe: the simulator's lock guards it.
class BufferRegistry {
 public:
  BufferRegistry() = default;
  ~BufferRegistry();
  BufferRegistry(const BufferRegistry&) = delete;
  BufferRegistry& operator=(const BufferRegistry&) = delete;

  // A new held buffer holding a copy of `contents`; null when memory is short.
  void* Allocate(const void* contents, std::size_t size);
  // Frees a held or retired buffer; false (and nothing freed) for any other
  // pointer.
  bool Release(void* buffer);
  void RetireAll();
  std::size_t held() const { return held_.size(); }

 private:
  std::unordered_set<void*> held_;     // handed out since the last reset
  std::unordered_set<void*> retired_;  // handed out before it, not released
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_BUFFER_REGISTRY_H_
