// The seven operations of the platform's server-side virtual-channel library
// (wfapi64) that the library calls, bound at run time.
//
// Nothing is bound at load: the first operation that needs the platform
// library loads it (VirtualChannelLibraryName(), searched as
// port::LoadSharedLibrary says) and resolves all seven names, so loading qvctx
// never fails for want of the platform library. When the library or one of
// the names cannot be had, the operation fails as a platform call fails: 0 or
// a null handle, with the last-error code set (126 library missing, 127 name
// missing, or the platform's own code of a failed load); WFFreeMemory then
// does nothing. Binding is safe when several threads are first at once.
#ifndef QVCTX_SRC_CHANNEL_WFAPI_H_
#define QVCTX_SRC_CHANNEL_WFAPI_H_

#include "protocol/platform_operations.h"

namespace qvctx {

// The operations themselves, of the types protocol/platform_operations.h
// declares; each binds the platform library on first use and then calls
// through to it.
WfQuerySessionInformationFn WFQuerySessionInformationA;
WfVirtualChannelOpenFn WFVirtualChannelOpen;
WfVirtualChannelQueryFn WFVirtualChannelQuery;
WfVirtualChannelReadFn WFVirtualChannelRead;
WfVirtualChannelWriteFn WFVirtualChannelWrite;
WfVirtualChannelCloseFn WFVirtualChannelClose;
WfFreeMemoryFn WFFreeMemory;

}  // namespace qvctx

#endif  // QVCTX_SRC_CHANNEL_WFAPI_H_
