#include "sleep.h"

#include <atomic>
#include <cstdint>

#include "platform/platform.h"
#include "platform/platform_test_helper.h"

namespace qvctx::port {

namespace {

std::atomic<std::uint32_t> g_tick_microseconds{0};
std::atomic<SleepObserver> g_sleep_observer{nullptr};

}  // namespace

void SleepMilliseconds(std::uint32_t milliseconds) {
  const SleepObserver observer =
      g_sleep_observer.load(std::memory_order_acquire);
  if (observer != nullptr) observer(milliseconds);
  std::uint64_t microseconds = std::uint64_t{milliseconds} * 1000;
  const std::uint64_t tick =
      g_tick_microseconds.load(std::memory_order_relaxed);
  if (tick != 0) microseconds = (microseconds + tick - 1) / tick * tick;
  SleepMicroseconds(microseconds);
}

void SetSleepTickForTesting(std::uint32_t tick_microseconds) {
  g_tick_microseconds.store(tick_microseconds, std::memory_order_relaxed);
}

void SetSleepObserverForTesting(SleepObserver observer) {
  g_sleep_observer.store(observer, std::memory_order_release);
}

}  // namespace qvctx::port
