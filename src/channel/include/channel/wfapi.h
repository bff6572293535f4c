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

#include <cstdint>

namespace qvctx {

using WfBool = std::int32_t;    // BOOL: non-zero for success
using WfDword = std::uint32_t;  // DWORD and ULONG of the Windows data model
using WfHandle = void*;         // HANDLE

// The seven operations as the platform library exports them (the x64
// standard calling convention, plain C names).
struct WfApiTable {
  WfBool (*WFQuerySessionInformationA)(WfHandle server, WfDword session_id,
                                       int info_class, char** out_buffer,
                                       WfDword* bytes_returned);
  WfHandle (*WFVirtualChannelOpen)(WfHandle server, WfDword session_id,
                                   char* virtual_name);
  WfBool (*WFVirtualChannelQuery)(WfHandle channel, int virtual_class,
                                  void** out_buffer, WfDword* bytes_returned);
  WfBool (*WFVirtualChannelRead)(WfHandle channel, WfDword timeout_ms,
                                 char* buffer, WfDword buffer_size,
                                 WfDword* bytes_read);
  WfBool (*WFVirtualChannelWrite)(WfHandle channel, char* buffer,
                                  WfDword length, WfDword* bytes_written);
  WfBool (*WFVirtualChannelClose)(WfHandle channel);
  void (*WFFreeMemory)(void* memory);
};

// The operations themselves; each binds the platform library on first use and
// then calls through to it.
WfBool WFQuerySessionInformationA(WfHandle server, WfDword session_id,
                                  int info_class, char** out_buffer,
                                  WfDword* bytes_returned);
WfHandle WFVirtualChannelOpen(WfHandle server, WfDword session_id,
                              char* virtual_name);
WfBool WFVirtualChannelQuery(WfHandle channel, int virtual_class,
                             void** out_buffer, WfDword* bytes_returned);
WfBool WFVirtualChannelRead(WfHandle channel, WfDword timeout_ms, char* buffer,
                            WfDword buffer_size, WfDword* bytes_read);
WfBool WFVirtualChannelWrite(WfHandle channel, char* buffer, WfDword length,
                             WfDword* bytes_written);
WfBool WFVirtualChannelClose(WfHandle channel);
void WFFreeMemory(void* memory);

}  // namespace qvctx

#endif  // QVCTX_SRC_CHANNEL_WFAPI_H_
