#include "transport/package_sender.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "channel/wfapi.h"
#include "diagnostics/log_file.h"
#include "module/module_data.h"
#include "module/no_destructor.h"
#include "platform/platform.h"
#include "transport/package_head.h"
#include "transport/shift_buffer.h"

namespace qvctx {

namespace {

// Failed writes one bulk send survives; the next one ends it.
constexpr std::uint32_t kFailedWriteBudget = 100;
constexpr std::uint32_t kFailedWritePauseMs = 1;

// One send at a time on the wire: without it the chunks of two host threads
// interleave and the client receives a corrupted stream. Taken after the
// staging copy, inside the reader's dispatch lock when a callback sends, and
// outside the log writer's lock.
port::RecursiveLock& SendLock() {
  static NoDestructor<port::RecursiveLock> lock;
  return *lock;
}

char* Bytes(const void* data) {
  // The platform's write takes a non-const buffer but never changes it.
  return const_cast<char*>(static_cast<const char*>(data));
}

// The bulk loop; the caller holds the send lock.
std::int32_t WriteInChunks(const char* data, std::uint32_t length) {
  std::uint32_t sent = 0;
  std::uint32_t failures = 0;
  while (sent < length) {
    const std::uint32_t chunk = std::min<std::uint32_t>(length - sent, kSendChunkSize);
    GetLogFile()->LogInfo("ServerSendBulkData:: send  length=%d bytes to client",
                          static_cast<int>(chunk));
    // Cleared before every write, so a failed write that reports nothing is
    // repeated from the same position and no byte is skipped.
    WfDword reported = 0;
    const WfBool written = WFVirtualChannelWrite(myModuleData.hVirtualChannel.load(),
                                                 Bytes(data + sent), chunk, &reported);
    if (written == 0) {
      const std::uint32_t code = port::LastErrorCode();
      GetLogFile()->LogError("ServerSendBulkData:: send Failed - error=%d",
                             static_cast<int>(code));
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    } else if (reported == 0) {
      // A write that takes nothing would otherwise loop for ever.
      GetLogFile()->LogError("ServerSendBulkData:: send took 0 bytes");
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    }
    if (failures > kFailedWriteBudget) {
      GetLogFile()->LogError("ServerSendBulkData:: send Failed- to much Error");
      break;
    }
    // Never more than was offered, so the position cannot pass the end.
    sent += std::min<std::uint32_t>(reported, chunk);
  }
  return sent < length ? 1 : 0;
}

}  // namespace

std::int32_t SendBulkData(const void* data, std::uint32_t length) {
  if (length >= kBulkSendLimit) {
    GetLogFile()->LogError("ServerSendBulkData:: Data size is to big!  Length=%d",
                           static_cast<int>(length));
    return 1;
  }
  if (data == nullptr && length != 0) {
    GetLogFile()->LogError("ServerSendBulkData:: no data to send!  Length=%d",
                           static_cast<int>(length));
    return 1;
  }
  GetLogFile()->LogInfo("ServerSendBulkData:: send data Length=%d",
                        static_cast<int>(length));
  port::LockGuard one_send_at_a_time(SendLock());
  return WriteInChunks(static_cast<const char*>(data), length);
}

std::int32_t SendFarFunction(const void* package, std::int32_t length) {
  std::unique_ptr<CShiftBuffer> staging;
  try {
    staging = std::make_unique<CShiftBuffer>();
  } catch (const std::exception& error) {
    GetLogFile()->LogError("%s", error.what());
    return 1;
  }
  staging->OverWrite(package, length);
  if (length >= 0 && staging->Position() == 0) {
    // Refused (null package, length 0 or too long): sending the emptied
    // buffer would put a header of zeros on the wire.
    return 1;
  }
  const auto length_on_wire = static_cast<std::uint32_t>(length);
  std::uint8_t* const staged = static_cast<std::uint8_t*>(staging->GetData());
  StampForSending(staged, length_on_wire);

  const std::uint32_t message_id = ReadMessageId(staged);
  const std::uint32_t datasize = ReadDatasize(staged);
  GetLogFile()->LogInfo("CtxRegisterFarFunction: Send Data to client");
  GetLogFile()->LogInfo("-->> CtxRegisterFarFunction::messageID = %lu",
                        static_cast<unsigned long>(message_id));
  GetLogFile()->LogInfo("-->> CtxRegisterFarFunction::functionID = %d",
                        static_cast<int>(FunctionId(message_id)));
  GetLogFile()->LogInfo("-->> CtxRegisterFarFunction::datasize = %lu",
                        static_cast<unsigned long>(datasize));
  GetLogFile()->LogInfo("-->> CtxRegisterFarFunction::ulTimeStamps[0] = %lu",
                        static_cast<unsigned long>(ReadTimeStamp(staged, 0)));

  if (length_on_wire >= kSendChunkSize) {
    // Held once around the whole bulk path, so the package stays whole.
    port::LockGuard one_send_at_a_time(SendLock());
    return SendBulkData(staged, datasize);
  }
  port::LockGuard one_send_at_a_time(SendLock());
  WfDword reported = 0;
  return WFVirtualChannelWrite(myModuleData.hVirtualChannel.load(), Bytes(staged),
                               datasize, &reported) != 0
             ? 0
             : 1;
}

}  // namespace qvctx
