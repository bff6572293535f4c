// The services of platform.h over the Win32 API.
#include <share.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <cstdio>
#include <new>

#include "platform/platform.h"
#include "sleep.h"

namespace qvctx::port {

namespace {

CRITICAL_SECTION* NativeSection(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

// A reference on the module that holds this code; null when none can be
// taken.
HMODULE PinThisModule() {
  HMODULE module = nullptr;
  if (GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                         reinterpret_cast<LPCWSTR>(&PinThisModule),
                         &module) == 0) {
    return nullptr;
  }
  return module;
}

// What a new thread needs before it runs; owned by that thread, which frees
// it, so the Thread handle may be closed while the thread still runs.
struct ThreadStart {
  ThreadRoutine routine;
  void* parameter;
  HMODULE module;           // the thread's reference on this module, or null
  volatile LONG abandoned;  // set when the handle is closed before resuming
};

DWORD WINAPI ThreadTrampoline(LPVOID raw) {
  ThreadStart* start = static_cast<ThreadStart*>(raw);
  const bool run = InterlockedCompareExchange(&start->abandoned, 0, 0) == 0;
  const ThreadRoutine routine = start->routine;
  void* const parameter = start->parameter;
  const HMODULE module = start->module;
  delete start;
  const DWORD code = run ? routine(parameter) : 0;
  // The module's reference goes back inside the system, which then ends the
  // thread: when it is the last one, the module is unloaded on the way and
  // this frame is never returned to.
  if (module != nullptr) FreeLibraryAndExitThread(module, code);
  return code;
}

}  // namespace

struct Thread {
  HANDLE handle = nullptr;
  DWORD id = 0;
  ThreadStart* start = nullptr;  // valid only until the thread is resumed
  bool resumed = false;
};

RecursiveLock::RecursiveLock() {
  static_assert(sizeof(storage_) >= sizeof(CRITICAL_SECTION),
                "CRITICAL_SECTION does not fit");
  InitializeCriticalSection(NativeSection(storage_));
}

RecursiveLock::~RecursiveLock() {
  DeleteCriticalSection(NativeSection(storage_));
}

void RecursiveLock::Lock() { EnterCriticalSection(NativeSection(storage_)); }

bool RecursiveLock::TryLock() {
  return TryEnterCriticalSection(NativeSection(storage_)) != FALSE;
}

void RecursiveLock::Unlock() { LeaveCriticalSection(NativeSection(storage_)); }

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string NativePath(const char* windows_path) { return windows_path; }

// Where the append lock lies: 2^63 - 2^32, an offset no log file reaches.
constexpr DWORD kAppendLockOffsetHigh = 0x7FFFFFFF;

// Takes the append lock on `handle`: at once when `may_wait` is false, else
// trying again, giving the processor up in between, for at most
// kAppendLockTryMs (and at least kAppendLockTries times, so a thread that was
// not scheduled meanwhile still gets its turn: the lock is held for one write
// at a time). The lock is only a courtesy among writers: a process that holds
// it and is frozen (stopped in a debugger, suspended while its dump is
// written) must not stop this one, which then goes on without it.
bool TakeAppendLock(HANDLE handle, OVERLAPPED& lock_at, bool may_wait) {
  constexpr int kAppendLockTries = 64;
  lock_at = OVERLAPPED{};
  lock_at.OffsetHigh = kAppendLockOffsetHigh;
  constexpr DWORD kFlags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
  if (LockFileEx(handle, kFlags, 0, 1, 0, &lock_at) != FALSE) return true;
  if (!may_wait || GetLastError() != ERROR_LOCK_VIOLATION) return false;
  LARGE_INTEGER frequency;
  LARGE_INTEGER began;
  LARGE_INTEGER now;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&began);
  const LONGLONG limit = frequency.QuadPart * kAppendLockTryMs / 1000;
  for (int tries = 1;; ++tries) {
    SwitchToThread();
    if (LockFileEx(handle, kFlags, 0, 1, 0, &lock_at) != FALSE) return true;
    QueryPerformanceCounter(&now);
    if (tries >= kAppendLockTries && now.QuadPart - began.QuadPart >= limit) {
      return false;
    }
  }
}

AppendFile OpenAppendFile(const char* windows_path, bool empty_it) {
  // Delete sharing lets an operator rename or delete the file while it is
  // open.
  constexpr DWORD kShareAll =
      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (empty_it) {
    // A handle for appending only may not cut the file; emptying takes one
    // of its own, closed again at once. It cuts under the append lock: a
    // line another process appends meanwhile lands before the cut or after
    // it, never at an end that no longer exists (which would fill the gap
    // with zero bytes where appending is emulated by finding the end first).
    HANDLE emptying =
        CreateFileA(windows_path, GENERIC_READ | GENERIC_WRITE, kShareAll,
                    nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (emptying == INVALID_HANDLE_VALUE) return kNoAppendFile;
    OVERLAPPED lock_at;
    const bool locked = TakeAppendLock(emptying, lock_at, true);
    const bool emptied = SetEndOfFile(emptying) != FALSE;
    if (locked) UnlockFileEx(emptying, 0, 1, 0, &lock_at);
    CloseHandle(emptying);
    if (!emptied) return kNoAppendFile;
  }
  // Read access only so the handle may take the append lock (AppendLine);
  // without FILE_WRITE_DATA every write still goes to the end.
  HANDLE handle =
      CreateFileA(windows_path, FILE_APPEND_DATA | FILE_READ_DATA, kShareAll,
                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  static_assert(sizeof(HANDLE) == sizeof(AppendFile), "a handle fits");
  return handle == INVALID_HANDLE_VALUE ? kNoAppendFile
                                        : reinterpret_cast<AppendFile>(handle);
}

bool AppendLine(AppendFile file, const char* text, bool may_wait) {
  HANDLE handle = reinterpret_cast<HANDLE>(file);
  // The system appends each write whole. The writers of every process also
  // take turns on one byte far beyond any end the file reaches (so no reader
  // is ever blocked): where append-only writes are emulated by finding the
  // end and then writing (Wine), two processes could otherwise write over
  // each other. A file system without locks, or a lock that another process
  // does not give back in time, is written to all the same.
  OVERLAPPED lock_at;
  const bool locked = TakeAppendLock(handle, lock_at, may_wait);
  // Stored as a text-mode stream stores it: each line feed as CR LF.
  char out[kAppendLineLimit];
  std::size_t used = 0;
  bool ok = true;
  const auto flush = [&] {
    DWORD written = 0;
    ok = ok &&
         WriteFile(handle, out, static_cast<DWORD>(used), &written, nullptr) !=
             FALSE &&
         written == used;
    used = 0;
  };
  for (const char* c = text;; ++c) {
    const char next = *c != '\0' ? *c : '\n';
    if (used + 2 > sizeof(out)) flush();
    if (next == '\n') out[used++] = '\r';
    out[used++] = next;
    if (*c == '\0') break;
  }
  flush();
  if (locked) UnlockFileEx(handle, 0, 1, 0, &lock_at);
  return ok;
}

void CloseAppendFile(AppendFile file) {
  if (file != kNoAppendFile) CloseHandle(reinterpret_cast<HANDLE>(file));
}

bool FileIsReadable(const char* windows_path) {
  std::FILE* file = _fsopen(windows_path, "r", _SH_DENYNO);
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

std::uint32_t ReadProfileString(const char* section, const char* key,
                                const char* default_value, char* buffer,
                                std::uint32_t size, const char* windows_path) {
  return GetPrivateProfileStringA(section, key, default_value, buffer, size,
                                  windows_path);
}

std::uint32_t ReadProfileInt(const char* section, const char* key,
                             std::int32_t default_value,
                             const char* windows_path) {
  return GetPrivateProfileIntA(section, key, default_value, windows_path);
}

bool ComputerName(char* buffer, std::uint32_t size) {
  DWORD length = size;
  return GetComputerNameA(buffer, &length) != FALSE;
}

bool UserName(char* buffer, std::uint32_t size) {
  DWORD length = size;
  return GetUserNameA(buffer, &length) != FALSE;
}

bool AppDataFolder(char* buffer) {
  static_assert(kMaxPathSize == MAX_PATH, "path buffers are MAX_PATH bytes");
  return SHGetSpecialFolderPathA(nullptr, buffer, CSIDL_APPDATA, FALSE) !=
         FALSE;
}

bool AppendToPath(char* path, const char* more) {
  return PathAppendA(path, more) != FALSE;
}

std::uint32_t LastErrorCode() { return GetLastError(); }

void SetLastErrorCode(std::uint32_t code) { SetLastError(code); }

void* ReserveZeroPages(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
}

bool CommitZeroPages(void* start, std::size_t size) {
  return VirtualAlloc(start, size, MEM_COMMIT, PAGE_READWRITE) != nullptr;
}

void DecommitZeroPages(void* start, std::size_t size) {
  VirtualFree(start, size, MEM_DECOMMIT);
}

void FreeZeroPages(void* block, std::size_t /*size*/) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

void SleepMicroseconds(std::uint64_t microseconds) {
  // Sleep counts in milliseconds: a part of one is a whole one.
  const std::uint64_t milliseconds = (microseconds + 999) / 1000;
  Sleep(milliseconds < INFINITE ? static_cast<DWORD>(milliseconds)
                                : INFINITE - 1);
}

std::uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

std::uint32_t CurrentProcessId() { return GetCurrentProcessId(); }

std::uint32_t CurrentSessionId() {
  DWORD session = 0;
  if (ProcessIdToSessionId(GetCurrentProcessId(), &session) == 0) return 0;
  return session;
}

Thread* CreateSuspendedThread(ThreadRoutine routine, void* parameter) {
  Thread* thread = new (std::nothrow) Thread;
  ThreadStart* start =
      new (std::nothrow) ThreadStart{routine, parameter, nullptr, 0};
  if (thread == nullptr || start == nullptr) {
    delete thread;
    delete start;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  start->module = PinThisModule();
  thread->start = start;
  thread->handle = CreateThread(nullptr, 0, ThreadTrampoline, start,
                                CREATE_SUSPENDED, &thread->id);
  if (thread->handle == nullptr) {
    const DWORD error = GetLastError();
    if (start->module != nullptr) FreeLibrary(start->module);
    delete start;
    delete thread;
    SetLastError(error);
    return nullptr;
  }
  return thread;
}

void SetNormalPriority(Thread* thread) {
  SetThreadPriority(thread->handle, THREAD_PRIORITY_NORMAL);
}

void ResumeThread(Thread* thread) {
  thread->resumed = true;
  thread->start = nullptr;
  ::ResumeThread(thread->handle);
}

void WaitForThreadEnd(Thread* thread) {
  WaitForSingleObject(thread->handle, INFINITE);
}

bool IsCurrentThread(const Thread* thread) {
  return thread->id == GetCurrentThreadId();
}

void CloseThreadHandle(Thread* thread) {
  if (thread == nullptr) return;
  if (!thread->resumed) {
    // Let the never-started thread end without running its routine.
    InterlockedExchange(&thread->start->abandoned, 1);
    ::ResumeThread(thread->handle);
  }
  CloseHandle(thread->handle);
  delete thread;
}

bool RunAtProcessExit(void (* /*handler*/)()) { return true; }

const char* VirtualChannelLibraryName() { return "wfapi64.dll"; }

void* LoadSharedLibrary(const char* file_name) {
  return LoadLibraryExA(
      file_name, nullptr,
      LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(
      GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace qvctx::port
