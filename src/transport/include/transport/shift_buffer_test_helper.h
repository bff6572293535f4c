// For tests of the receive block only: where the block of a running reader
// lies, so a test can ask the system how much of it is committed.
#ifndef QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_TEST_HELPER_H_
#define QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_TEST_HELPER_H_

#include <cstdint>

namespace qvctx {

// The block of the shift buffer built last in this process; null before the
// first. It stays valid only while that buffer lives.
const std::uint8_t* LastShiftBufferBlockForTesting();

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_SHIFT_BUFFER_TEST_HELPER_H_
