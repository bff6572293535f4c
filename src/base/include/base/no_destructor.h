// Wraps an object that is constructed on first use and never destroyed, so
// process-wide state stays usable during load and unload handling, whatever
// order the runtime runs static constructors and destructors in.
#ifndef QVCTX_SRC_BASE_NO_DESTRUCTOR_H_
#define QVCTX_SRC_BASE_NO_DESTRUCTOR_H_

#include <new>
#include <utility>

namespace qvctx {

template <typename T>
class NoDestructor {
 public:
  template <typename... Args>
  explicit NoDestructor(Args&&... args) {
    new (storage_) T(std::forward<Args>(args)...);
  }
  NoDestructor(const NoDestructor&) = delete;
  NoDestructor& operator=(const NoDestructor&) = delete;

  T* get() { return std::launder(reinterpret_cast<T*>(storage_)); }
  T* operator->() { return get(); }
  T& operator*() { return *get(); }

 private:
  alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace qvctx

#endif  // QVCTX_SRC_BASE_NO_DESTRUCTOR_H_
