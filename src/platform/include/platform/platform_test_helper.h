// Test seams of the platform's sleep, for the tests' and benchmarks' builds
// only; never exported from the release library.
#ifndef QVCTX_SRC_PLATFORM_PLATFORM_TEST_HELPER_H_
#define QVCTX_SRC_PLATFORM_PLATFORM_TEST_HELPER_H_

#include <cstdint>

namespace qvctx::port {

// Makes every SleepMilliseconds last a whole number of ticks of
// `tick_microseconds` (at least one for any sleep that is not 0), as a
// Windows server's timer tick of 15.6 ms does; 0 goes back to the plain sleep.
void SetSleepTickForTesting(std::uint32_t tick_microseconds);

// Calls `observer` (null: none) on the sleeping thread at the start of every
// SleepMilliseconds, with the milliseconds asked for.
using SleepObserver = void (*)(std::uint32_t milliseconds);
void SetSleepObserverForTesting(SleepObserver observer);

}  // namespace qvctx::port

#endif  // QVCTX_SRC_PLATFORM_PLATFORM_TEST_HELPER_H_
