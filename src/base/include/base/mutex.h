// Mutex, MutexLock and CondVar: the standard mutex and condition variable,
// annotated so the thread-safety analysis can check what each guards. The
// library's process-wide slots use these; the locks that must be recursive
// are the platform's RecursiveLock.
#ifndef QVCTX_SRC_BASE_MUTEX_H_
#define QVCTX_SRC_BASE_MUTEX_H_

#include <condition_variable>
#include <mutex>

#include "base/thread_annotations.h"

namespace qvctx {

class CAPABILITY("mutex") Mutex {
 public:
  Mutex() = default;
  Mutex(const Mutex&) = delete;
  Mutex& operator=(const Mutex&) = delete;

  void Lock() ACQUIRE() { mutex_.lock(); }
  // Takes the mutex only when it is free; never waits.
  bool TryLock() TRY_ACQUIRE(true) { return mutex_.try_lock(); }
  void Unlock() RELEASE() { mutex_.unlock(); }

 private:
  friend class CondVar;
  std::mutex mutex_;
};

// Holds a Mutex for the life of a scope.
class SCOPED_CAPABILITY MutexLock {
 public:
  explicit MutexLock(Mutex& mutex) ACQUIRE(mutex) : mutex_(mutex) {
    mutex_.Lock();
  }
  ~MutexLock() RELEASE() { mutex_.Unlock(); }
  MutexLock(const MutexLock&) = delete;
  MutexLock& operator=(const MutexLock&) = delete;

 private:
  Mutex& mutex_;
};

// A condition variable bound to one Mutex.
class CondVar {
 public:
  explicit CondVar(Mutex& mutex) : mutex_(mutex) {}
  CondVar(const CondVar&) = delete;
  CondVar& operator=(const CondVar&) = delete;

  // Releases the mutex while it waits and holds it again on return.
  void Wait() REQUIRES(mutex_) {
    std::unique_lock<std::mutex> held(mutex_.mutex_, std::adopt_lock);
    condition_.wait(held);
    held.release();
  }
  void SignalAll() { condition_.notify_all(); }

 private:
  Mutex& mutex_;
  std::condition_variable condition_;
};

}  // namespace qvctx

#endif  // QVCTX_SRC_BASE_MUTEX_H_
