// Test seams of the binding, for the binding's own tests only; never
// exported. Call them only while no other thread uses the operations.
#ifndef QVCTX_SRC_CHANNEL_WFAPI_TEST_HELPER_H_
#define QVCTX_SRC_CHANNEL_WFAPI_TEST_HELPER_H_

#include "channel/wfapi.h"

namespace qvctx {

// Makes every operation call `table` (kept by the caller) instead of the
// platform library; null goes back to binding at run time.
void InstallWfApiForTesting(const WfApiTable* table);

// Forgets the binding and any installed table, and makes the next operation
// bind the library `file_name` (kept by the caller) instead; null goes back to
// the platform's library. A library loaded earlier stays loaded.
void BindWfApiLibraryForTesting(const char* file_name);

}  // namespace qvctx

#endif  // QVCTX_SRC_CHANNEL_WFAPI_TEST_HELPER_H_
