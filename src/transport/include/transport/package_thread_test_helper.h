// For tests of the reader's stop only: a hook at the points where the reader
// and a close meet over the reader's state, so a test can order them.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_TEST_HELPER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_TEST_HELPER_H_

#include <cstdint>

namespace qvctx {

// The points, passed to the hook on the thread that reaches them.
inline constexpr std::uint32_t kReaderAboutToMarkStopped = 0;
inline constexpr std::uint32_t kReaderMarkedStopped = 1;
inline constexpr std::uint32_t kStopRequestSawState = 2;  // before its swap

// Calls `hook` (null: none) at each point.
void SetStopHookForTesting(void (*hook)(std::uint32_t point));

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_TEST_HELPER_H_
