// Test seam of the configuration read, for tests of a first call racing it
// only; never exported.
#ifndef QVCTX_SRC_MODULE_CONFIGURATION_TEST_HELPER_H_
#define QVCTX_SRC_MODULE_CONFIGURATION_TEST_HELPER_H_

namespace qvctx {

// `hook` (null: none) runs at the start of each load's configuration read,
// on the thread that reads and under the configuration's lock, so a test can
// hold the read while other threads make their first calls.
void SetConfigurationReadHookForTesting(void (*hook)());

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_CONFIGURATION_TEST_HELPER_H_
