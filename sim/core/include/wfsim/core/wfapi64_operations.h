// The seven platform operations the simulator exports, of the types that
// protocol/platform_operations.h declares (the platform library's binary
// interface). The simulator's own tests call them directly.
#ifndef QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_
#define QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_

#include "protocol/platform_operations.h"
#include "qvctx/wfapi64_sim.h"

extern "C" {

WFSIM_API qvctx::WfQuerySessionInformationFn WFQuerySessionInformationA;
WFSIM_API qvctx::WfVirtualChannelOpenFn WFVirtualChannelOpen;
WFSIM_API qvctx::WfVirtualChannelQueryFn WFVirtualChannelQuery;
WFSIM_API qvctx::WfVirtualChannelReadFn WFVirtualChannelRead;
WFSIM_API qvctx::WfVirtualChannelWriteFn WFVirtualChannelWrite;
WFSIM_API qvctx::WfVirtualChannelCloseFn WFVirtualChannelClose;
WFSIM_API qvctx::WfFreeMemoryFn WFFreeMemory;

}  // extern "C"

#endif  // QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_
