// The seven operations of the platform's virtual-channel library, each
// forwarded to the real one: the same arguments, the same result, the same
// out-parameters and the same last-error code afterwards. What moves on a
// "qvctx" channel is recorded on the way, after the call and with the
// caller's last-error code put back, so a recording changes nothing the
// host sees.
#include <cstdint>

#include "tap.h"
#include "tap_system.h"

#ifdef _WIN32
#define QVTAP_EXPORT  // named by wfapi64.def
#else
#define QVTAP_EXPORT __attribute__((visibility("default")))
#endif

using qvtap::LastError;
using qvtap::SetLastError;
using qvtap::Tap;
using qvtap::TargetTable;
using Direction = wfsim::StreamRecorder::Direction;

namespace {

// The target's table; null after setting the missing library's error.
const TargetTable* Bound() {
  const TargetTable* const table = Tap::Get().Target();
  if (table == nullptr) SetLastError(qvtap::kErrorModuleNotFound);
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

QVTAP_EXPORT std::int32_t WFQuerySessionInformationA(
    void* hServer, std::uint32_t sessionId, int infoClass, char** ppBuffer,
    std::uint32_t* pBytesReturned) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  return target->query_session(hServer, sessionId, infoClass, ppBuffer,
                               pBytesReturned);
}

QVTAP_EXPORT void* WFVirtualChannelOpen(void* hServer, std::uint32_t sessionId,
                                        char* virtualName) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return nullptr;
  void* const handle = target->open(hServer, sessionId, virtualName);
  if (handle != nullptr) {
    const std::uint32_t error = LastError();
    Tap::Get().Opened(handle, virtualName);
    SetLastError(error);
  }
  return handle;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelQuery(void* hChannel,
                                                int virtualClass,
                                                void** ppBuffer,
                                                std::uint32_t* pBytesReturned) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  return target->query(hChannel, virtualClass, ppBuffer, pBytesReturned);
}

QVTAP_EXPORT std::int32_t WFVirtualChannelRead(void* hChannel,
                                               std::uint32_t timeoutMs,
                                               char* buffer,
                                               std::uint32_t bufferSize,
                                               std::uint32_t* pBytesRead) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result =
      target->read(hChannel, timeoutMs, buffer, bufferSize, pBytesRead);
  Moved(hChannel, Direction::kFromClient, result, buffer, bufferSize,
        pBytesRead);
  return result;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelWrite(void* hChannel, char* buffer,
                                                std::uint32_t length,
                                                std::uint32_t* pBytesWritten) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result =
      target->write(hChannel, buffer, length, pBytesWritten);
  Moved(hChannel, Direction::kFromServer, result, buffer, length,
        pBytesWritten);
  return result;
}

QVTAP_EXPORT std::int32_t WFVirtualChannelClose(void* hChannel) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return 0;
  const std::int32_t result = target->close(hChannel);
  if (result != 0) {
    const std::uint32_t error = LastError();
    Tap::Get().Closed(hChannel);
    SetLastError(error);
  }
  return result;
}

QVTAP_EXPORT void WFFreeMemory(void* pMemory) {
  const TargetTable* const target = Bound();
  if (target == nullptr) return;
  target->free_memory(pMemory);
}

}  // extern "C"
