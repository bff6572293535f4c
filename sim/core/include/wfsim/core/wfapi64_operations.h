// The seven platform operations the simulator exports, with the binary
// interface of the platform's library: plain C names, the x64 standard calling
// convention, BOOL as a 32-bit int, DWORD and ULONG as 32-bit unsigned,
// HANDLE as a pointer. The simulator's own tests call them directly.
#ifndef QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_
#define QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_

#include <stdint.h>

#include "qvctx/wfapi64_sim.h"

#ifdef __cplusplus
extern "C" {
#endif

WFSIM_API int32_t WFQuerySessionInformationA(void* hServer, uint32_t sessionId,
                                             int infoClass, char** ppBuffer,
                                             uint32_t* pBytesReturned);
WFSIM_API void* WFVirtualChannelOpen(void* hServer, uint32_t sessionId,
                                     char* virtualName);
WFSIM_API int32_t WFVirtualChannelQuery(void* hChannel, int virtualClass,
                                        void** ppBuffer,
                                        uint32_t* pBytesReturned);
WFSIM_API int32_t WFVirtualChannelRead(void* hChannel, uint32_t timeoutMs,
                                       char* buffer, uint32_t bufferSize,
                                       uint32_t* pBytesRead);
WFSIM_API int32_t WFVirtualChannelWrite(void* hChannel, char* buffer,
                                        uint32_t length,
                                        uint32_t* pBytesWritten);
WFSIM_API int32_t WFVirtualChannelClose(void* hChannel);
WFSIM_API void WFFreeMemory(void* pMemory);

#ifdef __cplusplus
}
#endif

#endif  // QVCTX_SIM_CORE_WFAPI64_OPERATIONS_H_
