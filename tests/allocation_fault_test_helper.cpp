#include "allocation_fault_test_helper.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <sys/mman.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <thread>

namespace anomaly {
namespace {

std::atomic<bool> g_armed{false};
std::atomic<bool> g_this_thread{true};
std::atomic<long> g_remaining{-1};
std::atomic<bool> g_reached{false};
std::thread::id g_arming_thread;  // written before g_armed (release)

// False when the allocation is the simulator's, whose own allocations are not
// the library's to handle: the nearest caller outside the C++ runtime is in
// the simulator.
bool CalledByTheLibrary() {
  void* frames[24];
  const int count = backtrace(frames, 24);
  bool past_allocator = false;  // past operator new or mmap of this file
  for (int i = 1; i < count; ++i) {
    Dl_info info{};
    if (dladdr(frames[i], &info) == 0 || info.dli_fname == nullptr) continue;
    if (!past_allocator) {
      past_allocator = info.dli_sname != nullptr &&
                       (std::strncmp(info.dli_sname, "_Zn", 3) == 0 ||
                        std::strcmp(info.dli_sname, "mmap") == 0);
      continue;
    }
    if (std::strstr(info.dli_fname, "wfapi64") != nullptr) return false;
    if (std::strstr(info.dli_fname, "libstdc++") == nullptr &&
        std::strstr(info.dli_fname, "libgcc") == nullptr) {
      return true;
    }
  }
  return true;
}

// Counts one allocation; true when it is the one to fail.
bool FailThisOne() {
  if (!g_armed.load(std::memory_order_acquire)) return false;
  const bool mine = std::this_thread::get_id() == g_arming_thread;
  if (mine != g_this_thread.load() || !CalledByTheLibrary()) return false;
  if (g_remaining.fetch_sub(1) != 0) return false;
  g_reached = true;
  if (std::getenv("QVCTX_ANOMALY_TRACE") != nullptr) {
    void* frames[12];
    backtrace_symbols_fd(frames, backtrace(frames, 12), 2);
  }
  return true;
}

void* Allocate(std::size_t size) {
  if (FailThisOne()) throw std::bad_alloc();
  void* block = std::malloc(size != 0 ? size : 1);
  if (block == nullptr) throw std::bad_alloc();
  return block;
}

void* AllocateNoThrow(std::size_t size) noexcept {
  if (FailThisOne()) return nullptr;
  return std::malloc(size != 0 ? size : 1);
}

}  // namespace

void ArmAllocationFault(FaultThreads threads, int skip) {
  g_arming_thread = std::this_thread::get_id();
  g_this_thread = threads == FaultThreads::kThisThread;
  g_remaining = skip;
  g_reached = false;
  g_armed.store(true, std::memory_order_release);
}

bool DisarmAllocationFault() {
  g_armed = false;
  return g_reached.load();
}

}  // namespace anomaly

void* operator new(std::size_t size) { return anomaly::Allocate(size); }
void* operator new[](std::size_t size) { return anomaly::Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  return anomaly::AllocateNoThrow(size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  return anomaly::AllocateNoThrow(size);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}
void operator delete[](void* block, const std::nothrow_t&) noexcept {
  std::free(block);
}

extern "C" void* mmap(void* address, std::size_t length, int protection,
                      int flags, int fd, off_t offset) {
  using Mmap = void* (*)(void*, std::size_t, int, int, int, off_t);
  static const Mmap next = reinterpret_cast<Mmap>(dlsym(RTLD_NEXT, "mmap"));
  if (anomaly::FailThisOne()) return MAP_FAILED;
  return next(address, length, protection, flags, fd, offset);
}
