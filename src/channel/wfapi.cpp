#include "channel/wfapi.h"

#include <atomic>

#include "base/mutex.h"
#include "base/no_destructor.h"
#include "base/system_codes.h"
#include "channel/wfapi_test_helper.h"
#include "platform/platform.h"

namespace qvctx {

namespace {

// The process-wide binding. Never destroyed: a reader thread may still call
// through it while the process ends.
struct Binding {
  Mutex mutex;  // one bind attempt at a time
  // The table every call goes through; null until bound. Set once per bind
  // (release), so the ordinary call reads it without the lock (acquire).
  std::atomic<const WfApiTable*> active{nullptr};
  WfApiTable bound GUARDED_BY(mutex){};  // the resolved names
  // Loaded at most once, never unloaded.
  void* library GUARDED_BY(mutex) = nullptr;
  // Null: the platform's library.
  const char* file_name GUARDED_BY(mutex) = nullptr;
};

Binding& GetBinding() {
  static NoDestructor<Binding> binding;
  return *binding;
}

// The platform's own code of the last failure, else `fallback`.
std::uint32_t CodeOr(std::uint32_t fallback) {
  const std::uint32_t code = port::LastErrorCode();
  return code != 0 ? code : fallback;
}

// Loads the library (unless an earlier attempt did) and resolves the seven
// names. A failed bind is not remembered: the next call tries again, so a
// host that installs or repairs the platform library while it runs can start
// a session later without being restarted. That costs one load attempt per
// call only while the library is missing, when calls are few (a session start
// ends at its first failing step). A loaded library that lacks a name keeps
// failing with 127 at the cost of seven look-ups.
const WfApiTable* Bind(std::uint32_t* error) {
  Binding& binding = GetBinding();
  MutexLock hold(binding.mutex);
  const WfApiTable* table = binding.active.load(std::memory_order_acquire);
  if (table != nullptr) return table;  // another thread was first
  if (binding.library == nullptr) {
    const char* const name = binding.file_name != nullptr
                                 ? binding.file_name
                                 : port::VirtualChannelLibraryName();
    binding.library = port::LoadSharedLibrary(name);
    if (binding.library == nullptr) {
      *error = CodeOr(kErrorModuleNotFound);
      return nullptr;
    }
  }
  WfApiTable resolved{};
  void* const library = binding.library;
  std::uint32_t first_missing = 0;  // the code of the first name not found
  const auto find = [library, &first_missing](const char* name) {
    void* const symbol = port::FindSymbol(library, name);
    if (symbol == nullptr && first_missing == 0) {
      first_missing = CodeOr(kErrorProcNotFound);
    }
    return symbol;
  };
  if (!ResolveWfApi(find, &resolved)) {
    *error = first_missing;
    return nullptr;
  }
  binding.bound = resolved;
  binding.active.store(&binding.bound, std::memory_order_release);
  return &binding.bound;
}

// The table to call through, bound on first use; null with the last-error
// code set (after the binding lock is released) when it cannot be had.
const WfApiTable* Table() {
  const WfApiTable* table = GetBinding().active.load(std::memory_order_acquire);
  if (table != nullptr) return table;
  std::uint32_t error = 0;
  table = Bind(&error);
  if (table == nullptr) port::SetLastErrorCode(error);
  return table;
}

}  // namespace

WfBool WFQuerySessionInformationA(WfHandle server, WfDword session_id,
                                  int info_class, char** out_buffer,
                                  WfDword* bytes_returned) {
  const WfApiTable* table = Table();
  if (table == nullptr) return 0;
  return table->WFQuerySessionInformationA(server, session_id, info_class,
                                           out_buffer, bytes_returned);
}

WfHandle WFVirtualChannelOpen(WfHandle server, WfDword session_id,
                              char* virtual_name) {
  const WfApiTable* table = Table();
  if (table == nullptr) return nullptr;
  return table->WFVirtualChannelOpen(server, session_id, virtual_name);
}

WfBool WFVirtualChannelQuery(WfHandle channel, int virtual_class,
                             void** out_buffer, WfDword* bytes_returned) {
  const WfApiTable* table = Table();
  if (table == nullptr) return 0;
  return table->WFVirtualChannelQuery(channel, virtual_class, out_buffer,
                                      bytes_returned);
}

WfBool WFVirtualChannelRead(WfHandle channel, WfDword timeout_ms, char* buffer,
                            WfDword buffer_size, WfDword* bytes_read) {
  const WfApiTable* table = Table();
  if (table == nullptr) return 0;
  return table->WFVirtualChannelRead(channel, timeout_ms, buffer, buffer_size,
                                     bytes_read);
}

WfBool WFVirtualChannelWrite(WfHandle channel, char* buffer, WfDword length,
                             WfDword* bytes_written) {
  const WfApiTable* table = Table();
  if (table == nullptr) return 0;
  return table->WFVirtualChannelWrite(channel, buffer, length, bytes_written);
}

WfBool WFVirtualChannelClose(WfHandle channel) {
  const WfApiTable* table = Table();
  if (table == nullptr) return 0;
  return table->WFVirtualChannelClose(channel);
}

void WFFreeMemory(void* memory) {
  const WfApiTable* table = Table();
  if (table == nullptr) return;
  table->WFFreeMemory(memory);
}

void InstallWfApiForTesting(const WfApiTable* table) {
  Binding& binding = GetBinding();
  MutexLock hold(binding.mutex);
  binding.active.store(table, std::memory_order_release);
}

void BindWfApiLibraryForTesting(const char* file_name) {
  Binding& binding = GetBinding();
  MutexLock hold(binding.mutex);
  binding.file_name = file_name;
  binding.library = nullptr;
  binding.active.store(nullptr, std::memory_order_release);
}

}  // namespace qvctx
