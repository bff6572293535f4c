// For tests of the log writer only: where the time of each line comes from.
#ifndef QVCTX_SRC_DIAGNOSTICS_LOG_FILE_TEST_HELPER_H_
#define QVCTX_SRC_DIAGNOSTICS_LOG_FILE_TEST_HELPER_H_

#include "platform/platform.h"

namespace qvctx {

// Replaces the clock of the log lines (null restores the local time of day).
void SetTimeOfDayForTesting(port::TimeOfDay (*clock)());

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_LOG_FILE_TEST_HELPER_H_
