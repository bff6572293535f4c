/* The simulator's control header compiles as plain C and links. */
#include <stddef.h>

#include "qvctx/wfapi64_sim.h"

int main(void) {
  WfSimWriteRecord record;
  WfSimOperation operation = WFSIM_READ;
  WfSimReset();
  if (WfSimOpenHandleCount() != 0 || WfSimCallCount(operation) != 0) return 1;
  if (WfSimClientSendEvent(7, "abc", 3) != 0) return 2;
  if (WfSimPendingReadBytes() != 37) return 3;
  if (WfSimGetWriteRecord(0, &record) != 1) return 4;
  if (WfSimFailCalls(WFSIM_FREE_MEMORY, 0, WFSIM_FOREVER, 5) != 1) return 5;
  WfSimReset();
  return 0;
}
