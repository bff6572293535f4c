// Test seam of the session start, for the module's own tests only; never
// exported.
#ifndef QVCTX_SRC_MODULE_SESSION_TEST_HELPER_H_
#define QVCTX_SRC_MODULE_SESSION_TEST_HELPER_H_

#include <cstddef>

namespace qvctx {

// Replaces how the start allocates its 4088-byte read buffer (null restores
// the default). The allocator returns memory from new[] or null.
void SetReadBufferAllocatorForTesting(char* (*allocate)(std::size_t));

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_SESSION_TEST_HELPER_H_
