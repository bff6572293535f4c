// The services of platform.h over the Win32 API.
#include <share.h>
#include <shlobj.h>
#include <shlwapi.h>
#include <windows.h>

#include <new>

#include "platform/platform.h"

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

void RecursiveLock::Unlock() { LeaveCriticalSection(NativeSection(storage_)); }

TimeOfDay LocalTimeOfDay() {
  SYSTEMTIME now;
  GetLocalTime(&now);
  return TimeOfDay{now.wHour, now.wMinute, now.wSecond, now.wMilliseconds};
}

std::string NativePath(const char* windows_path) { return windows_path; }

std::FILE* OpenTextFileForWriting(const char* windows_path, bool append) {
  return _fsopen(windows_path, append ? "at" : "wt", _SH_DENYNO);
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

void* AllocateZeroPages(std::size_t size) {
  return VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
}

void FreeZeroPages(void* block, std::size_t /*size*/) {
  if (block != nullptr) VirtualFree(block, 0, MEM_RELEASE);
}

void SleepMilliseconds(std::uint32_t milliseconds) { Sleep(milliseconds); }

std::uint32_t CurrentThreadId() { return GetCurrentThreadId(); }

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
