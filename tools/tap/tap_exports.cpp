// The seven operations of the platform's virtual-channel library, each
// forwarded to the real one: the same arguments, the same result, the same
// out-parameters and the same last-error code afterwards. What moves on a
// "qvctx" channel is recorded on the way, after the call and with the
// caller's last-error code put back, so a recording changes nothing the
// host sees.
#include <cstdint>

#include "base/system_codes.h"
#include "protocol/platform_operations.h"
#include "qvctx_port/process.h"
#include "tap.h"
#include "tap_system.h"

#ifdef _WIN32
#define QVTAP_EXPORT  // named by wfapi64.def
#else
#define QVTAP_EXPORT __attribute__((visibility("default")))
#endif

using qvctx_port::LastError;
using qvctx_port::SetLastError;
using qvtap::Tap;
using TargetTable = qvctx::WfApiTable;
using Direction = wfsim::StreamRecorder::Direction;

namespace {

// The target's table; null after setting the missing library's error.
const TargetTable* Bound() {
  const TargetTable* const table = Tap::Get().Target();
  if (table == nullptr) SetLastError(qvctx::kErrorModuleNotFound);
  return table;
}

// Records what a successful read or write moved, keeping the last error.
void Moved(void* handle, Direction direction, std::int32_t result,
           const char* data, std::uint32_t asked, const std::uint32_t* count) {
  if (result == 0 || count == nullptr || *count == 0) return;
  const std::uint32_t error = LastError();
  Tap::Get().Moved(handle, direction, data, *count < asked ? *count : asked);
  SetLastError(error);
}

}  // namespace

extern "C" {

// Declared with the operations' own types, so a definition below that
// strays from them does not compile.
QVTAP_EXPORT qvctx::WfQuerySessionInformationFn WFQuerySessionInformationA;
QVTAP_EXPORT qvctx::WfVirtualChannelOpenFn WFVirtualChannelOpen;
QVTAP_EXPORT qvctx::WfVirtualChannelQueryFn WFVirtualChannelQuery;
QVTAP_EXPORT qvctx::WfVirtualChannelReadFn WFVirtualChannelRead;
QVTAP_EXPORT qvctx::WfVirtualChannelWriteFn WFVirtualChannelWrite;
QVTAP_EXPORT qvctx::WfVirtualChannelCloseFn WFVirtualChannelClose;
QVTAP_EXPORT qvctx::WfFreeMemoryFn WFFreeMemory;

QVTAP_EXPORT std::int32_t WFQuerySessionInformationA(
    void* server, std::uint32_t session_id, int info_class, char** buffer_out,
    std::uint32_t* bytes_returned) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  return target->WFQuerySessionInformationA(server, session_id, info_class,
                                            buffer_out, bytes_returned);
}

QVTAP_EXPORT void* WFVirtualChannelOpen(void* server, std::uint32_t session_id,
                                        char* virtual_name) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return nullptr;
  void* const handle =
      target->WFVirtualChannelOpen(server, session_id, virtual_name);
  if (handle != nullptr) {
    const std::uint32_t error = LastError();
    Tap::Get().Opened(handle, virtual_name);
    SetLastError(error);
  }
  return handle;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelQuery(void* channel,
                                                int virtual_class,
                                                void** buffer_out,
                                                std::uint32_t* bytes_returned) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  return target->WFVirtualChannelQuery(channel, virtual_class, buffer_out,
                                       bytes_returned);
}

QVTAP_EXPORT std::int32_t WFVirtualChannelRead(void* channel,
                                               std::uint32_t timeout_ms,
                                               char* buffer,
                                               std::uint32_t buffer_size,
                                               std::uint32_t* bytes_read) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result = target->WFVirtualChannelRead(
      channel, timeout_ms, buffer, buffer_size, bytes_read);
  Moved(channel, Direction::kFromClient, result, buffer, buffer_size,
        bytes_read);
  return result;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelWrite(void* channel, char* buffer,
                                                std::uint32_t length,
                                                std::uint32_t* bytes_written) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result =
      target->WFVirtualChannelWrite(channel, buffer, length, bytes_written);
  Moved(channel, Direction::kFromServer, result, buffer, length, bytes_written);
  return result;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelClose(void* channel) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result = target->WFVirtualChannelClose(channel);
  if (result != 0) {
    const std::uint32_t error = LastError();
    Tap::Get().Closed(channel);
    SetLastError(error);
  }
  return result;
}

QVTAP_EXPORT void WFFreeMemory(void* memory) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return;
  target->WFFreeMemory(memory);
}

}  // extern "C"
