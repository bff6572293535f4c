#include "transport/package_sender.h"

#include <algorithm>
#include <exception>
#include <memory>

#include "base/no_destructor.h"
#include "channel/wfapi.h"
#include "diagnostics/log_file.h"
#include "platform/platform.h"
#include "protocol/wire_format.h"
#include "transport/messages.h"
#include "transport/shift_buffer.h"

namespace qvctx {

namespace {

// Failed (or empty) writes one bulk send survives; the next one ends it.
constexpr std::uint32_t kFailedWriteBudget = 100;
constexpr std::uint32_t kFailedWritePauseMs = 1;

// One send at a time on the wire: without it the chunks of two host threads
// interleave and the client receives a corrupted stream. Taken once per call,
// after the staging copy; inside the reader's dispatch lock when a callback
// sends, and always outside the log writer's lock.
port::RecursiveLock& SendLock() {
  static NoDestructor<port::RecursiveLock> lock;
  return *lock;
}

char* Bytes(const void* data) {
  // The platform's write takes a non-const buffer but never changes it.
  return const_cast<char*>(static_cast<const char*>(data));
}

// Logs why a bulk send of `length` bytes from `data` cannot start; true then.
bool RefuseBulkSend(const void* data, std::uint32_t length) {
  if (length >= kBulkSendLimit) {
    GetLogFile()->LogError(kBulkTooBigFormat, static_cast<int>(length));
    return true;
  }
  if (data == nullptr && length != 0) {
    GetLogFile()->LogError(kBulkNoDataFormat, static_cast<int>(length));
    return true;
  }
  return false;
}

// The bulk send of an accepted run of bytes; the caller holds the send lock.
std::int32_t WriteInChunks(const std::atomic<WfHandle>& channel,
                           const std::uint8_t* data, std::uint32_t length) {
  GetLogFile()->LogInfo(kBulkSendFormat, static_cast<int>(length));
  std::uint32_t sent = 0;
  std::uint32_t failures = 0;
  while (sent < length) {
    const std::uint32_t chunk =
        std::min<std::uint32_t>(length - sent, kSendChunkSize);
    GetLogFile()->LogInfo(kBulkChunkFormat, static_cast<int>(chunk));
    // Cleared before every write, so only what this write took moves the
    // position: a failed write is repeated from the same byte, none skipped.
    WfDword taken = 0;
    const WfBool written = WFVirtualChannelWrite(
        channel.load(), Bytes(data + sent), chunk, &taken);
    if (written == 0) {
      const std::uint32_t code = port::LastErrorCode();
      GetLogFile()->LogError(kBulkWriteFailedFormat, static_cast<int>(code));
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    } else if (taken == 0) {
      // A channel that keeps taking nothing would hold the loop for ever.
      GetLogFile()->LogError("%s", kBulkWriteTookNothing);
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    }
    if (failures > kFailedWriteBudget) {
      GetLogFile()->LogError("%s", kBulkTooManyFailures);
      break;
    }
    // Never more than was offered, so the position cannot pass the end.
    sent += std::min<std::uint32_t>(taken, chunk);
  }
  return sent < length ? 1 : 0;
}

// The header fields of a staged package as the log reports them.
struct StagedHead {
  std::uint32_t message_id;
  std::uint32_t datasize;
  std::uint32_t first_time_stamp;
};

// Stamps the staged package for sending and reads its fields back, under the
// staging buffer's lock.
StagedHead Stamp(CShiftBuffer& staging, std::uint32_t length) {
  port::LockGuard guard(staging.BufferLock());
  std::uint8_t* const staged = staging.GetData();
  StampForSending(staged, length);
  return StagedHead{ReadMessageId(staged), ReadDatasize(staged),
                    ReadTimeStamp(staged, 0)};
}

void LogStagedHead(const StagedHead& head) {
  GetLogFile()->LogInfo("%s", kFarFunctionSend);
  GetLogFile()->LogInfo(kFarFunctionMessageIdFormat,
                        static_cast<unsigned long>(head.message_id));
  GetLogFile()->LogInfo(kFarFunctionFunctionIdFormat,
                        static_cast<int>(FunctionId(head.message_id)));
  GetLogFile()->LogInfo(kFarFunctionDatasizeFormat,
                        static_cast<unsigned long>(head.datasize));
  GetLogFile()->LogInfo(kFarFunctionTimeStampFormat,
                        static_cast<unsigned long>(head.first_time_stamp));
}

// A short package goes out in one write, all or nothing: no error code is
// read and the count taken is not looked at.
std::int32_t WriteWhole(const std::atomic<WfHandle>& channel,
                        const std::uint8_t* package, std::uint32_t length) {
  WfDword taken = 0;
  return WFVirtualChannelWrite(channel.load(), Bytes(package), length,
                               &taken) != 0
             ? 0
             : 1;
}

}  // namespace

std::int32_t SendBulkData(const std::atomic<WfHandle>& channel,
                          const void* data, std::uint32_t length) {
  if (RefuseBulkSend(data, length)) return 1;
  port::LockGuard one_send_at_a_time(SendLock());
  return WriteInChunks(channel, static_cast<const std::uint8_t*>(data), length);
}

std::int32_t SendFarFunction(const std::atomic<WfHandle>& channel,
                             const void* package, std::int32_t length) {
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
    // buffer would put a header of zeros on the wire. A negative length goes
    // on to the bulk sender, which refuses it as too big.
    return 1;
  }
  const StagedHead head = Stamp(*staging, static_cast<std::uint32_t>(length));

  // Released before the staging buffer goes, so its release is not waited
  // for by other senders.
  port::LockGuard one_send_at_a_time(SendLock());
  LogStagedHead(head);
  const std::uint8_t* const staged = staging->GetData();
  if (static_cast<std::uint32_t>(length) < kSendChunkSize) {
    return WriteWhole(channel, staged, head.datasize);
  }
  if (RefuseBulkSend(staged, head.datasize)) return 1;
  return WriteInChunks(channel, staged, head.datasize);
}

}  // namespace qvctx
