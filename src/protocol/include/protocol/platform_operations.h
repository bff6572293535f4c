// The seven operations of the platform's server-side virtual-channel library
// (wfapi64), declared once for the three that meet them: the library's
// binding (src/channel) calls them, the simulator (sim/core) exports them in
// the platform's place, and the tap (tools/tap) exports them and forwards
// them to the platform's own. Their binary interface is the platform
// library's: plain C names, the x64 standard calling convention, BOOL a
// 32-bit int (non-zero for success), DWORD and ULONG 32-bit unsigned, HANDLE
// a pointer.
#ifndef QVCTX_SRC_PROTOCOL_PLATFORM_OPERATIONS_H_
#define QVCTX_SRC_PROTOCOL_PLATFORM_OPERATIONS_H_

#include <cstdint>
#include <type_traits>

namespace qvctx {

using WfBool = std::int32_t;    // BOOL: non-zero for success
using WfDword = std::uint32_t;  // DWORD and ULONG of the Windows data model
using WfHandle = void*;         // HANDLE

// The operations' types. An export declared with one of them, as
//   extern "C" WfVirtualChannelOpenFn WFVirtualChannelOpen;
// does not compile beside a definition of another signature.
using WfQuerySessionInformationFn = WfBool(WfHandle server, WfDword session_id,
                                           int info_class, char** out_buffer,
                                           WfDword* bytes_returned);
using WfVirtualChannelOpenFn = WfHandle(WfHandle server, WfDword session_id,
                                        char* virtual_name);
using WfVirtualChannelQueryFn = WfBool(WfHandle channel, int virtual_class,
                                       void** out_buffer,
                                       WfDword* bytes_returned);
using WfVirtualChannelReadFn = WfBool(WfHandle channel, WfDword timeout_ms,
                                      char* buffer, WfDword buffer_size,
                                      WfDword* bytes_read);
using WfVirtualChannelWriteFn = WfBool(WfHandle channel, char* buffer,
                                       WfDword length, WfDword* bytes_written);
using WfVirtualChannelCloseFn = WfBool(WfHandle channel);
using WfFreeMemoryFn = void(void* memory);

// The seven operations of one library, each null until found.
struct WfApiTable {
  WfQuerySessionInformationFn* WFQuerySessionInformationA = nullptr;
  WfVirtualChannelOpenFn* WFVirtualChannelOpen = nullptr;
  WfVirtualChannelQueryFn* WFVirtualChannelQuery = nullptr;
  WfVirtualChannelReadFn* WFVirtualChannelRead = nullptr;
  WfVirtualChannelWriteFn* WFVirtualChannelWrite = nullptr;
  WfVirtualChannelCloseFn* WFVirtualChannelClose = nullptr;
  WfFreeMemoryFn* WFFreeMemory = nullptr;
};

// Looks every operation up by its exported name with `find(name)` (the
// address, or null when the library lacks it) into `table`; true when all
// seven were found. Every name is looked up, so `find` sees each missing one.
template <typename Find>
bool ResolveWfApi(Find&& find, WfApiTable* table) {
  bool all = true;
  const auto into = [&](const char* name, auto** slot) {
    void* const address = find(name);
    // A data pointer from the loader converted to the function it names.
    *slot = reinterpret_cast<std::remove_pointer_t<decltype(slot)>>(address);
    all = all && address != nullptr;
  };
  into("WFQuerySessionInformationA", &table->WFQuerySessionInformationA);
  into("WFVirtualChannelOpen", &table->WFVirtualChannelOpen);
  into("WFVirtualChannelQuery", &table->WFVirtualChannelQuery);
  into("WFVirtualChannelRead", &table->WFVirtualChannelRead);
  into("WFVirtualChannelWrite", &table->WFVirtualChannelWrite);
  into("WFVirtualChannelClose", &table->WFVirtualChannelClose);
  into("WFFreeMemory", &table->WFFreeMemory);
  return all;
}

}  // namespace qvctx

#endif  // QVCTX_SRC_PROTOCOL_PLATFORM_OPERATIONS_H_
