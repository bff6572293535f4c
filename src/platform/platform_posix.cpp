// POSIX stand-ins for the Windows services of platform.h.
#include <dlfcn.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "base/drive_path.h"
#include "base/system_codes.h"
#include "platform/platform.h"
#include "sleep.h"

// The C++ runtime's own names: this shared object's handle, and the exit
// handlers registered for it.
extern "C" {
extern void* __dso_handle;  // NOLINT(readability-identifier-naming)
// NOLINTNEXTLINE(readability-identifier-naming)
int __cxa_atexit(void (*function)(void*), void* argument, void* dso);
}

namespace qvctx::port {

namespace {

pthread_mutex_t* NativeMutex(unsigned char* storage) {
  return reinterpret_cast<pthread_mutex_t*>(storage);
}

}  // namespace

struct Thread {
  pthread_t id{};
  ThreadRoutine routine = nullptr;
  void* parameter = nullptr;
  void* module = nullptr;  // the thread's reference on this module, or null
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
  pthread_cond_t start_cond = PTHREAD_COND_INITIALIZER;
  bool resumed = false;    // guarded by mutex: run the routine
  bool abandoned = false;  // guarded by mutex: closed before it was resumed
  bool joined = false;     // the thread's end has been waited for
};

RecursiveLock::RecursiveLock() {
  static_assert(sizeof(storage_) >= sizeof(pthread_mutex_t),
                "pthread_mutex_t does not fit");
  pthread_mutexattr_t attr;
  pthread_mutexattr_init(&attr);
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  pthread_mutex_init(NativeMutex(storage_), &attr);
  pthread_mutexattr_destroy(&attr);
}

RecursiveLock::~RecursiveLock() {
  pthread_mutex_destroy(NativeMutex(storage_));
}

void RecursiveLock::Lock() { pthread_mutex_lock(NativeMutex(storage_)); }

bool RecursiveLock::TryLock() {
  return pthread_mutex_trylock(NativeMutex(storage_)) == 0;
}

void RecursiveLock::Unlock() { pthread_mutex_unlock(NativeMutex(storage_)); }

TimeOfDay LocalTimeOfDay() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  localtime_r(&now.tv_sec, &local);
  return TimeOfDay{local.tm_hour, local.tm_min, local.tm_sec,
                   static_cast<int>(now.tv_usec / 1000)};
}

std::string NativePath(const char* windows_path) {
  return PosixPathOf(windows_path);
}

AppendFile OpenAppendFile(const char* windows_path, bool empty_it) {
  const int descriptor =
      open(NativePath(windows_path).c_str(),
           O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | (empty_it ? O_TRUNC : 0),
           0666);
  return descriptor < 0 ? kNoAppendFile : descriptor;
}

// No lock among writers here: O_APPEND finds the end and writes in one step,
// so `may_wait` changes nothing.
bool AppendLine(AppendFile file, const char* text, bool /*may_wait*/) {
  const int descriptor = static_cast<int>(file);
  char out[kAppendLineLimit];
  std::size_t used = 0;
  bool ok = true;
  // One write() per buffer: with O_APPEND the kernel finds the end and writes
  // in one step.
  const auto flush = [&] {
    const char* from = out;
    while (ok && used > 0) {
      const ssize_t written = write(descriptor, from, used);
      if (written < 0 && errno == EINTR) continue;
      ok = written > 0;
      if (ok) {
        from += written;
        used -= static_cast<std::size_t>(written);
      }
    }
    used = 0;
  };
  for (const char* c = text;; ++c) {
    if (used == sizeof(out)) flush();
    out[used++] = *c != '\0' ? *c : '\n';
    if (*c == '\0') break;
  }
  flush();
  return ok;
}

void CloseAppendFile(AppendFile file) {
  if (file != kNoAppendFile) close(static_cast<int>(file));
}

bool FileIsReadable(const char* windows_path) {
  std::FILE* file = std::fopen(NativePath(windows_path).c_str(), "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

namespace {

// Copies `text` with its NUL into `buffer` of `size` bytes; false when it does
// not fit.
bool CopyWhole(const char* text, char* buffer, std::size_t size) {
  const std::size_t length = std::strlen(text);
  if (length >= size) return false;
  std::memcpy(buffer, text, length + 1);
  return true;
}

// The value of an environment variable that holds an absolute path; null
// otherwise. Read at the first call of a load; the library never changes
// its environment.
const char* AbsolutePathVariable(const char* name) {
  const char* value = std::getenv(name);  // NOLINT(concurrency-mt-unsafe)
  return (value != nullptr && value[0] == '/') ? value : nullptr;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

bool ComputerName(char* buffer, std::uint32_t size) {
  char name[256] = {};
  if (gethostname(name, sizeof(name) - 1) != 0) return false;
  return name[0] != '\0' && CopyWhole(name, buffer, size);
}

bool UserName(char* buffer, std::uint32_t size) {
  passwd entry{};
  passwd* found = nullptr;
  char strings[4096];
  if (getpwuid_r(geteuid(), &entry, strings, sizeof(strings), &found) != 0 ||
      found == nullptr || entry.pw_name == nullptr) {
    return false;
  }
  return entry.pw_name[0] != '\0' && CopyWhole(entry.pw_name, buffer, size);
}

bool AppDataFolder(char* buffer) {
  if (const char* config_home = AbsolutePathVariable("XDG_CONFIG_HOME")) {
    return CopyWhole(config_home, buffer, kMaxPathSize);
  }
  const char* home = AbsolutePathVariable("HOME");
  if (home == nullptr) return false;
  const int length = std::snprintf(buffer, kMaxPathSize, "%s/.config", home);
  return length > 0 && static_cast<std::uint32_t>(length) < kMaxPathSize;
}

bool AppendToPath(char* path, const char* more) {
  std::size_t length = std::strlen(path);
  // A path of separators alone ("/") keeps its first one.
  while (length > 1 && IsSeparator(path[length - 1])) --length;
  while (IsSeparator(*more)) ++more;
  const bool joint = length > 0 && !IsSeparator(path[length - 1]);
  const std::size_t more_length = std::strlen(more);
  if (length + (joint ? 1 : 0) + more_length >= kMaxPathSize) return false;
  if (joint) path[length++] = '\\';
  std::memcpy(path + length, more, more_length + 1);
  return true;
}

std::uint32_t LastErrorCode() { return static_cast<std::uint32_t>(errno); }

void SetLastErrorCode(std::uint32_t code) { errno = static_cast<int>(code); }

void* ReserveZeroPages(std::size_t size) {
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : block;
}

bool CommitZeroPages(void* /*start*/, std::size_t /*size*/) { return true; }

void DecommitZeroPages(void* start, std::size_t size) {
  madvise(start, size, MADV_DONTNEED);
}

void FreeZeroPages(void* block, std::size_t size) {
  if (block != nullptr) munmap(block, size);
}

void SleepMicroseconds(std::uint64_t microseconds) {
  timespec delay{static_cast<time_t>(microseconds / 1000000),
                 static_cast<long>(microseconds % 1000000) * 1000L};
  while (nanosleep(&delay, &delay) != 0 && errno == EINTR) {
  }
}

std::uint32_t CurrentThreadId() {
  return static_cast<std::uint32_t>(syscall(SYS_gettid));
}

std::uint32_t CurrentProcessId() {
  return static_cast<std::uint32_t>(getpid());
}

std::uint32_t CurrentSessionId() {
  const pid_t session = getsid(0);
  return session < 0 ? 0 : static_cast<std::uint32_t>(session);
}

namespace {

// The path of the shared object (or program) that holds this code; empty when
// it cannot be told.
std::string ThisModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&CurrentThreadId), &info) == 0 ||
      info.dli_fname == nullptr) {
    return std::string();
  }
  return info.dli_fname;
}

// A reference on the shared object that holds this code; null when none can
// be taken (the code is linked into a program).
void* PinThisModule() {
  const std::string path = ThisModulePath();
  if (path.empty()) return nullptr;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
}

// The thread-specific key whose destructor gives a thread's module reference
// back. The destructor is dlclose itself, not a function of ours: the C
// library calls it after the thread's routine has returned into the C
// library, so when that dlclose unloads this object, the instruction it
// returns to is the C library's, and nothing of this object is on the
// thread's stack. (dlclose returns an int that the caller of a destructor
// ignores; on the supported ABIs that is a register nobody reads.) One key per
// load of this object, deleted by its unload: by then no thread holds a value
// for it, since each such value is a reference that would have kept it
// loaded.
class ModuleReleaseKey {
 public:
  ModuleReleaseKey() {
    // Through the type that matches every function type, which the
    // compiler accepts without a warning for the differing result.
    const auto release = reinterpret_cast<void (*)(void*)>(
        reinterpret_cast<void (*)()>(&dlclose));
    created_ = pthread_key_create(&key_, release) == 0;
  }
  ~ModuleReleaseKey() {
    if (created_) pthread_key_delete(key_);
  }
  ModuleReleaseKey(const ModuleReleaseKey&) = delete;
  ModuleReleaseKey& operator=(const ModuleReleaseKey&) = delete;

  // Hands `module` to the calling thread's end; false when there is no key,
  // and then the reference is kept for the life of the process.
  bool ReleaseAtThreadEnd(void* module) const {
    return created_ && pthread_setspecific(key_, module) == 0;
  }

 private:
  pthread_key_t key_{};
  bool created_ = false;
};

const ModuleReleaseKey& ReleaseKey() {
  static ModuleReleaseKey key;
  return key;
}

// Holds the new thread until ResumeThread, then runs the routine; a thread
// closed before it was resumed ends without running it. Either way its
// module reference goes back after this function has returned.
void* ThreadTrampoline(void* raw) {
  Thread* thread = static_cast<Thread*>(raw);
  if (thread->module != nullptr) {
    ReleaseKey().ReleaseAtThreadEnd(thread->module);
  }
  pthread_mutex_lock(&thread->mutex);
  while (!thread->resumed && !thread->abandoned) {
    pthread_cond_wait(&thread->start_cond, &thread->mutex);
  }
  const bool run = thread->resumed;
  const ThreadRoutine routine = thread->routine;
  void* const parameter = thread->parameter;
  pthread_mutex_unlock(&thread->mutex);
  if (run) routine(parameter);
  return nullptr;
}

}  // namespace

Thread* CreateSuspendedThread(ThreadRoutine routine, void* parameter) {
  // The key exists before the thread does, so its creation never races.
  ReleaseKey();
  // Before anything is held: finding this module's path may throw
  // std::bad_alloc, which must leave nothing behind.
  void* const module = PinThisModule();
  Thread* thread = new (std::nothrow) Thread;
  if (thread == nullptr) {
    if (module != nullptr) dlclose(module);
    errno = ENOMEM;
    return nullptr;
  }
  thread->routine = routine;
  thread->parameter = parameter;
  thread->module = module;
  const int rc = pthread_create(&thread->id, nullptr, ThreadTrampoline, thread);
  if (rc != 0) {
    if (thread->module != nullptr) dlclose(thread->module);
    delete thread;
    errno = rc;
    return nullptr;
  }
  return thread;
}

// POSIX threads of ordinary programs have one priority: normal.
void SetNormalPriority(Thread* /*thread*/) {}

void ResumeThread(Thread* thread) {
  pthread_mutex_lock(&thread->mutex);
  thread->resumed = true;
  pthread_cond_signal(&thread->start_cond);
  pthread_mutex_unlock(&thread->mutex);
}

void WaitForThreadEnd(Thread* thread) {
  if (thread->joined) return;
  pthread_join(thread->id, nullptr);
  thread->joined = true;
}

bool IsCurrentThread(const Thread* thread) {
  return pthread_equal(thread->id, pthread_self()) != 0;
}

void CloseThreadHandle(Thread* thread) {
  if (thread == nullptr) return;
  if (!thread->joined) {
    if (IsCurrentThread(thread)) {
      // The struct goes now; the trampoline no longer reads it.
      pthread_detach(thread->id);
    } else {
      pthread_mutex_lock(&thread->mutex);
      thread->abandoned = true;
      pthread_cond_signal(&thread->start_cond);
      pthread_mutex_unlock(&thread->mutex);
      pthread_join(thread->id, nullptr);
    }
  }
  pthread_cond_destroy(&thread->start_cond);
  pthread_mutex_destroy(&thread->mutex);
  delete thread;
}

bool RunAtProcessExit(void (*handler)()) {
  // Registered for this shared object (its __dso_handle, as atexit does in
  // a shared object; said outright, so that no interceptor of atexit loses
  // it), the handler runs at exit, before the C++ objects of libraries that
  // were set up before it are destroyed, or when this object is unloaded,
  // whichever comes first, and never once it is gone.
  return __cxa_atexit(
             [](void* registered) {
               reinterpret_cast<void (*)()>(registered)();
             },
             reinterpret_cast<void*>(handler), &__dso_handle) == 0;
}

const char* VirtualChannelLibraryName() { return "libwfapi64.so"; }

void* LoadSharedLibrary(const char* file_name) {
  void* library = nullptr;
  // Beside this library first: a sanitizer's dlopen searches its own
  // runtime's paths instead of this library's $ORIGIN.
  if (std::strchr(file_name, '/') == nullptr) {
    const std::string own = ThisModulePath();
    const std::size_t slash = own.rfind('/');
    if (slash != std::string::npos) {
      const std::string beside = own.substr(0, slash + 1) + file_name;
      library = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
  }
  if (library == nullptr) library = dlopen(file_name, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) SetLastErrorCode(kErrorModuleNotFound);
  return library;
}

void* FindSymbol(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (symbol == nullptr) SetLastErrorCode(kErrorProcNotFound);
  return symbol;
}

}  // namespace qvctx::port
