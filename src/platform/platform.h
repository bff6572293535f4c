// The operating-system services the library uses, stated by what each must
// give. Two files implement this header with the same behaviour:
// platform_windows.cpp over the Win32 API, and platform_posix.cpp with POSIX
// stand-ins. The build compiles exactly one of them; nothing else in the
// library may depend on which.
#ifndef QVCTX_SRC_PLATFORM_PLATFORM_H_
#define QVCTX_SRC_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace qvctx::port {

// A lock that the thread holding it may take again; each Lock() needs its own
// Unlock(). A critical section on Windows, a recursive mutex on POSIX.
// Creating one allocates nothing and cannot fail.
class RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Lock();
  void Unlock();

 private:
  // Room for the native object (CRITICAL_SECTION or pthread_mutex_t), so the
  // lock needs no heap and this header no system header. Each implementation
  // checks at compile time that its object fits.
  alignas(8) unsigned char storage_[64];
};

// Holds a RecursiveLock for the life of a scope.
class LockGuard {
 public:
  explicit LockGuard(RecursiveLock& lock) : lock_(lock) { lock_.Lock(); }
  ~LockGuard() { lock_.Unlock(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  RecursiveLock& lock_;
};

// The local time of day (GetLocalTime on Windows).
struct TimeOfDay {
  int hour;         // 0 to 23
  int minute;       // 0 to 59
  int second;       // 0 to 59
  int millisecond;  // 0 to 999
};
TimeOfDay LocalTimeOfDay();

// Turns one of the system's Windows paths into a path of this platform. On
// Windows the path is used as it is. On POSIX a path that begins with a drive
// letter ("C:\temp\logs\myCitrixLog.log") lives under a folder standing for
// that drive: $QVCTX_DRIVE_<LETTER> when set, "/" otherwise; backslashes
// become slashes. The variable is read on every call.
std::string NativePath(const char* windows_path);

// Opens the file at a Windows path for writing in text mode (on Windows a line
// feed is stored as CR LF), appending when `append` is true, emptied
// otherwise; a missing file is created, a missing folder is not. No sharing
// restriction: other processes may open the file meanwhile. Returns null on
// failure.
std::FILE* OpenTextFileForWriting(const char* windows_path, bool append);

// True when the file at a Windows path can be opened for reading; the file is
// closed again at once.
bool FileIsReadable(const char* windows_path);

// The calling thread's last-error code of the platform: GetLastError() on
// Windows, errno on POSIX (which the POSIX virtual-channel library sets when
// one of its calls fails). Read it right after the failed call.
std::uint32_t LastErrorCode();
void SetLastErrorCode(std::uint32_t code);

// Reserves and commits `size` bytes of zero-filled pages straight from the
// operating system (VirtualAlloc, anonymous mmap). Pages cost memory only once
// touched. Returns null on failure. Release with FreeZeroPages and the same
// size.
void* AllocateZeroPages(std::size_t size);
void FreeZeroPages(void* block, std::size_t size);

// Suspends the calling thread for about `milliseconds`.
void SleepMilliseconds(std::uint32_t milliseconds);

// The calling thread's identifier (GetCurrentThreadId; the kernel thread id on
// POSIX).
std::uint32_t CurrentThreadId();

// A thread created suspended: it runs `routine(parameter)` only once
// ResumeThread is called. Null when it cannot be created.
using ThreadRoutine = std::uint32_t (*)(void* parameter);
struct Thread;  // opaque
Thread* CreateSuspendedThread(ThreadRoutine routine, void* parameter);
void SetNormalPriority(Thread* thread);
void ResumeThread(Thread* thread);
// Blocks until the thread has ended. Must not be called on the thread itself.
void WaitForThreadEnd(Thread* thread);
// True when the caller runs on `thread`.
bool IsCurrentThread(const Thread* thread);
// Releases the handle; the thread is never stopped from outside. On Windows
// the handle is closed and a thread still running runs on. On POSIX the thread
// is joined (callers close only a thread that has ended or is ending), or
// detached when it closes its own handle.
void CloseThreadHandle(Thread* thread);

// The file name of the platform's virtual-channel library: "wfapi64.dll" on
// Windows, "libwfapi64.so" on POSIX.
const char* VirtualChannelLibraryName();

// A shared library loaded at run time. On Windows the search covers the
// application's folder and the system folders, never the current directory.
// Null when it cannot be loaded, with the last-error code set (126 when the
// library is missing).
void* LoadSharedLibrary(const char* file_name);
// The address of an exported name; null when missing, with the last-error
// code set (127).
void* FindSymbol(void* library, const char* name);

}  // namespace qvctx::port

#endif  // QVCTX_SRC_PLATFORM_PLATFORM_H_
