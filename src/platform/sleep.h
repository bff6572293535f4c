// The system's own sleep, beneath SleepMilliseconds; each platform file
// implements it.
#ifndef QVCTX_SRC_PLATFORM_SLEEP_H_
#define QVCTX_SRC_PLATFORM_SLEEP_H_

#include <cstdint>

namespace qvctx::port {

// Suspends the calling thread for about `microseconds` (on Windows rounded
// up to whole milliseconds).
void SleepMicroseconds(std::uint64_t microseconds);

}  // namespace qvctx::port

#endif  // QVCTX_SRC_PLATFORM_SLEEP_H_
