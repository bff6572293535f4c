// The operating-system services the library uses, stated by what each must
// give. Two files implement this header with the same behaviour:
// platform_windows.cpp over the Win32 API, and platform_posix.cpp with POSIX
// stand-ins. The build compiles exactly one of them; nothing else in the
// library may depend on which.
#ifndef QVCTX_SRC_PLATFORM_PLATFORM_H_
#define QVCTX_SRC_PLATFORM_PLATFORM_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/thread_annotations.h"

namespace qvctx::port {

// A lock that the thread holding it may take again; each Lock() needs its own
// Unlock(). A critical section on Windows, a recursive mutex on POSIX.
// Creating one allocates nothing and cannot fail. The analysis sees a plain
// lock: a nested take is one it cannot follow (through a host callback).
class CAPABILITY("mutex") RecursiveLock {
 public:
  RecursiveLock();
  ~RecursiveLock();
  RecursiveLock(const RecursiveLock&) = delete;
  RecursiveLock& operator=(const RecursiveLock&) = delete;

  void Lock() ACQUIRE();
  // Takes the lock only when it is free (or held by the caller); never waits.
  bool TryLock() TRY_ACQUIRE(true);
  void Unlock() RELEASE();

 private:
  // Room for the native object (CRITICAL_SECTION or pthread_mutex_t), so the
  // lock needs no heap and this header no system header. Each implementation
  // checks at compile time that its object fits.
  alignas(8) unsigned char storage_[64];
};

// Holds a RecursiveLock for the life of a scope.
class SCOPED_CAPABILITY LockGuard {
 public:
  explicit LockGuard(RecursiveLock& lock) ACQUIRE(lock) : lock_(lock) {
    lock_.Lock();
  }
  ~LockGuard() RELEASE() { lock_.Unlock(); }
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
// become slashes (base/drive_path.h, the rule the tools share). The variable
// is read on every call.
std::string NativePath(const char* windows_path);

// An open file that lines are appended to: the system's handle of it (a
// HANDLE on Windows, a descriptor on POSIX), kNoAppendFile for none. A plain
// value, so opening one allocates nothing.
using AppendFile = std::intptr_t;
inline constexpr AppendFile kNoAppendFile = -1;

// Opens the file at a Windows path for appending only; a missing file is
// created, a missing folder is not. With `empty_it` the file is emptied first,
// under the append lock that AppendLine takes (where the platform has one), so
// another process's line never lands at an end that the emptying moved.
// Every write lands at the file's end as it is at that moment, in one step, so
// lines that several processes append at once never overwrite each other
// (FILE_APPEND_DATA on Windows, O_APPEND on POSIX). Other processes may read,
// write, rename and delete the file meanwhile; after a rename the open file
// goes on receiving the lines under its new name. kNoAppendFile on failure.
AppendFile OpenAppendFile(const char* windows_path, bool empty_it);

// The longest text that AppendLine writes in one write, line end included.
inline constexpr std::size_t kAppendLineLimit = 2048;

// Appends `text` and a line end, in one write when both fit into
// kAppendLineLimit once stored (longer texts take several). Every line feed,
// those in `text` included, is stored as the platform's text-mode streams
// store it: CR LF on Windows, LF on POSIX. False when not all was written.
// Where the writers of all processes take turns through a lock on the file
// (Windows), a lock that another process holds is tried for at most
// kAppendLockTryMs (not at all when `may_wait` is false), then the line is
// written without it: a frozen process never stops another's log.
inline constexpr std::uint32_t kAppendLockTryMs = 5;
bool AppendLine(AppendFile file, const char* text, bool may_wait = true);

// Closes the file; kNoAppendFile is ignored.
void CloseAppendFile(AppendFile file);

// True when the file at a Windows path can be opened for reading; the file is
// closed again at once.
bool FileIsReadable(const char* windows_path);

// The size of the system's path buffers, terminating NUL included (MAX_PATH).
inline constexpr std::uint32_t kMaxPathSize = 260;

// Reading an INI-style profile file at a Windows path: GetPrivateProfileIntA
// and GetPrivateProfileStringA on Windows; profile_posix.cpp reads the same
// way on POSIX. What both give:
// - Lines end at LF, CR LF or a lone CR; the last line needs no line end; a
//   UTF-8 byte-order mark at the start is skipped; a NUL ends its line's text.
// - A line whose first non-blank character is '[' opens the section named by
//   the text up to the line's last ']' (text behind it is ignored; a line
//   without ']' is ignored). Entries before the first section belong to a
//   section with an empty name.
// - A line whose first non-blank character is ';' is a comment (Windows keeps
//   it as an entry whose name begins with ';', which no name asked for here
//   matches). Any other line is an entry: its name is the text before the
//   first '=', its value the text behind it; a line without '=' is an entry
//   without a value.
// - Names and values lose their leading and trailing blanks (space, tab,
//   vertical tab, form feed); so do the names asked for. Names are compared
//   without regard to ASCII case.
// - Only the first section of a name counts, and in it only the first entry
//   of a key, even when that entry is empty or has no value.
// `section`, `key` and `default_value` are never null.

// The entry's value, or `default_value` less its trailing spaces (its first
// character always stays) when the file, the section or the key is missing or
// the entry has no value, copied into `buffer`, NUL-terminated and cut to
// `size` - 1 characters. A text of two or more characters that begins and
// ends with the same quote (' or ") loses the opening quote, and the closing
// one when it fitted into the buffer; so a quoted text whose inside is exactly
// `size` - 1 characters long comes back one character shorter. Returns the
// number of characters copied, NUL excluded. A `size` of 0 writes nothing and
// returns 0.
std::uint32_t ReadProfileString(const char* section, const char* key,
                                const char* default_value, char* buffer,
                                std::uint32_t size, const char* windows_path);

// The entry's value as an unsigned 32-bit number. The value is taken as
// ReadProfileString gives it into a 30-byte buffer (so only its first 29
// characters count); when that text is empty (no file, section, key or value,
// or an empty value) the result is `default_value` converted to unsigned.
// Otherwise: characters with codes 1 to 32 in front are skipped; one '+' or
// '-' may follow; then "0x" reads hexadecimal digits (either case), "0o"
// octal, "0b" binary (these prefixes in lower case only), anything else
// decimal (a leading zero does not mean octal). Digits accumulate modulo 2^32
// and the first character that is no digit of the base ends the number, so
// "42abc" is 42, "abc" and "- 5" are 0, "4294967297" is 1. A '-' negates
// modulo 2^32: "-1" is 4294967295.
std::uint32_t ReadProfileInt(const char* section, const char* key,
                             std::int32_t default_value,
                             const char* windows_path);

// The computer's name (GetComputerNameA: the NetBIOS name; the host name on
// POSIX), NUL-terminated in `buffer` of `size` bytes. False when it cannot be
// obtained or does not fit; the buffer's contents are then undefined.
bool ComputerName(char* buffer, std::uint32_t size);

// The name of the user that runs the process (GetUserNameA; the effective
// user's name on POSIX), as ComputerName.
bool UserName(char* buffer, std::uint32_t size);

// The user's application-data folder into `buffer` of kMaxPathSize bytes,
// without creating it: SHGetSpecialFolderPathA with CSIDL_APPDATA (26) on
// Windows; on POSIX $XDG_CONFIG_HOME, else $HOME/.config (each only when set
// to an absolute path), read on every call. False when it cannot be found or
// does not fit; the buffer's contents are then undefined. A POSIX folder is a
// path without a drive letter, so NativePath leaves it where it is after a
// backslash path has been appended to it.
bool AppDataFolder(char* buffer);

// Appends `more` to the path in `path`, a buffer of kMaxPathSize bytes, with
// exactly one backslash between them (PathAppendA): a backslash that ends
// `path` or begins `more` is not doubled (on POSIX neither are several, nor
// slashes). False when the result does not fit; `path` is then undefined
// (Windows empties it).
bool AppendToPath(char* path, const char* more);

// The calling thread's last-error code of the platform: GetLastError() on
// Windows, errno on POSIX (which the POSIX virtual-channel library sets when
// one of its calls fails). Read it right after the failed call.
std::uint32_t LastErrorCode();
void SetLastErrorCode(std::uint32_t code);

// A block of zero-filled pages straight from the operating system, whose
// memory is taken only as it is used. ReserveZeroPages sets `size` bytes of
// address space aside; CommitZeroPages makes a range of it usable before its
// first use: on Windows reserved pages cost no memory and fault until
// committed (VirtualAlloc MEM_RESERVE, then MEM_COMMIT); on POSIX the block
// is an anonymous mapping whose pages cost memory once touched, so all of it
// is usable at once and committing does nothing. Null on failure. Release
// with FreeZeroPages and the same size.
void* ReserveZeroPages(std::size_t size);
// Makes the `size` bytes from `start`, inside a reserved block, usable: pages
// committed for the first time read zero, pages committed before keep their
// bytes. False when the system has no memory for them.
bool CommitZeroPages(void* start, std::size_t size);
// Gives the memory of the `size` bytes from `start`, inside a reserved block,
// back to the system; the range stays reserved, and committed again it reads
// zero. On Windows it is no longer committed (VirtualFree MEM_DECOMMIT); on
// POSIX its pages are dropped (madvise MADV_DONTNEED) and come back as zero
// pages when touched. `start` and `size` are whole pages.
void DecommitZeroPages(void* start, std::size_t size);
void FreeZeroPages(void* block, std::size_t size);

// Suspends the calling thread for about `milliseconds`.
void SleepMilliseconds(std::uint32_t milliseconds);

// The calling thread's identifier (GetCurrentThreadId; the kernel thread id on
// POSIX).
std::uint32_t CurrentThreadId();

// The calling process's identifier (GetCurrentProcessId; getpid on POSIX).
std::uint32_t CurrentProcessId();

// The session the calling process runs in, as an operator tells sessions
// apart: on Windows the remote session's id (ProcessIdToSessionId, the same
// number the server's session list shows; 0 when it cannot be told); on
// POSIX the process's session id (getsid), the login's leading process.
std::uint32_t CurrentSessionId();

// A thread created suspended: it runs `routine(parameter)` only once
// ResumeThread is called. Null when it cannot be created.
//
// The thread keeps the module that holds this code mapped for its whole life:
// it takes a reference on the module (GetModuleHandleEx on Windows; a dlopen
// of the shared object on POSIX) before it is created and gives it back as its
// very last act, when no code of the module is left on its stack: on Windows
// through FreeLibraryAndExitThread, whose thread ends inside the system; on
// POSIX through a thread-specific value whose destructor is dlclose itself,
// which the C library calls after the thread's routine has returned into it.
// So a host that unloads the module while the thread runs does not pull the
// code from under it, and when the thread's reference is the last one the
// module's unload handling runs on that thread and the module is unmapped
// with nothing of it still running. A thread that is never resumed gives its
// reference back the same way. When creation fails the reference is given
// back on the calling thread, which is inside the module on a host's call and
// so not holding the last one. Where no reference can be taken (the code is
// linked into a program), or POSIX has no thread-specific key left, the thread
// holds none, or keeps the one it took for the life of the process.
using ThreadRoutine = std::uint32_t (*)(void* parameter);
struct Thread;  // opaque
Thread* CreateSuspendedThread(ThreadRoutine routine, void* parameter);
void SetNormalPriority(Thread* thread);
void ResumeThread(Thread* thread);
// Blocks until the thread has ended, its module reference given back. Must
// not be called on the thread itself.
void WaitForThreadEnd(Thread* thread);
// True when the caller runs on `thread`.
bool IsCurrentThread(const Thread* thread);
// Releases the handle; the thread is never stopped from outside. On Windows
// the handle is closed and a thread still running runs on. On POSIX the thread
// is joined (callers close only a thread that has ended or is ending), or
// detached when it closes its own handle.
void CloseThreadHandle(Thread* thread);

// Runs `handler` when the process exits, before the state of the libraries it
// loaded is torn down (POSIX: an exit handler, run before the C++ objects of
// the libraries loaded earlier are destroyed; it also runs when this library
// is unloaded). On Windows nothing is registered: the system ends every other
// thread before any library's unload handling runs. False when it could not
// be registered.
bool RunAtProcessExit(void (*handler)());

// The file name of the platform's virtual-channel library: "wfapi64.dll" on
// Windows, "libwfapi64.so" on POSIX.
const char* VirtualChannelLibraryName();

// A shared library loaded at run time. On Windows the search covers the
// application's folder and the system folders, never the current directory.
// On POSIX a bare file name is looked for beside the shared object that holds
// this code first, then where dlopen looks.
// Null when it cannot be loaded, with the last-error code set (126 when the
// library is missing).
void* LoadSharedLibrary(const char* file_name);
// The address of an exported name; null when missing, with the last-error
// code set (127).
void* FindSymbol(void* library, const char* name);

}  // namespace qvctx::port

#endif  // QVCTX_SRC_PLATFORM_PLATFORM_H_
