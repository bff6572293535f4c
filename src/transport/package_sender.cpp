#include "transport/package_sender.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "channel/wfapi.h"
#include "platform/platform.h"
#include "protocol/wire_format.h"
#include "transport/messages.h"

namespace qvctx {

namespace {

// Failed (or empty) writes one bulk send survives; the next one ends it.
constexpr std::uint32_t kFailedWriteBudget = 100;
constexpr std::uint32_t kFailedWritePauseMs = 1;

char* Bytes(const void* data) {
  // The platform's write takes a non-const buffer but never changes it.
  return const_cast<char*>(static_cast<const char*>(data));
}

// Logs why a bulk send of `length` bytes from `data` cannot start; true then.
bool RefuseBulkSend(Logger& log, const void* data, std::uint32_t length) {
  if (length >= kBulkSendLimit) {
    log.LogError(kBulkTooBigFormat, static_cast<int>(length));
    return true;
  }
  if (data == nullptr && length != 0) {
    log.LogError(kBulkNoDataFormat, static_cast<int>(length));
    return true;
  }
  return false;
}

// The bulk send of an accepted run of bytes; the caller holds the send lock.
// source(at, count) gives the `count` bytes from offset `at` on, contiguous.
template <class Source>
std::int32_t WriteInChunks(WfHandle channel, Logger& log, Source&& source,
                           std::uint32_t length) {
  log.LogInfo(kBulkSendFormat, static_cast<int>(length));
  std::uint32_t sent = 0;
  std::uint32_t failures = 0;
  while (sent < length) {
    const std::uint32_t chunk =
        std::min<std::uint32_t>(length - sent, kSendChunkSize);
    log.LogInfo(kBulkChunkFormat, static_cast<int>(chunk));
    // Cleared before every write, so only what this write took moves the
    // position: a failed write is repeated from the same byte, none skipped.
    WfDword taken = 0;
    const WfBool written = WFVirtualChannelWrite(
        channel, Bytes(source(sent, chunk)), chunk, &taken);
    if (written == 0) {
      const std::uint32_t code = port::LastErrorCode();
      log.LogError(kBulkWriteFailedFormat, static_cast<int>(code));
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    } else if (taken == 0) {
      // A channel that keeps taking nothing would hold the loop for ever.
      log.LogError("%s", kBulkWriteTookNothing);
      ++failures;
      port::SleepMilliseconds(kFailedWritePauseMs);
    }
    if (failures > kFailedWriteBudget) {
      log.LogError("%s", kBulkTooManyFailures);
      break;
    }
    // Never more than was offered, so the position cannot pass the end.
    sent += std::min<std::uint32_t>(taken, chunk);
  }
  return sent < length ? 1 : 0;
}

// A far-function package as it goes out. Only its header is staged and
// stamped, in a block of the header's size; the bytes behind the header go
// out from the host's own memory, which is read and never changed. A write
// that reaches into the header is assembled in a window of one chunk. So a
// call costs no block of the largest package's size, and nothing stays
// allocated between calls.
class OutgoingPackage {
 public:
  // `package` is null for a copy that was refused: the header then reads as
  // zeros before the stamp, as an emptied staging buffer would.
  OutgoingPackage(const std::uint8_t* package, std::uint32_t length)
      : package_(package) {
    if (package != nullptr) {
      std::memcpy(head_, package, std::min(length, kPackageHeadSize));
    }
    StampForSending(head_, length);
  }
  OutgoingPackage(const OutgoingPackage&) = delete;
  OutgoingPackage& operator=(const OutgoingPackage&) = delete;

  const std::uint8_t* head() const { return head_; }

  // The `count` bytes from offset `at` on, of a package of at least
  // at + count bytes; count is at most kSendChunkSize.
  const std::uint8_t* Range(std::uint32_t at, std::uint32_t count) {
    if (at >= kPackageHeadSize) return package_ + at;
    const std::uint32_t end = at + count;
    const std::uint32_t from_head = std::min(end, kPackageHeadSize) - at;
    std::memcpy(window_, head_ + at, from_head);
    if (end > kPackageHeadSize) {
      std::memcpy(window_ + from_head, package_ + kPackageHeadSize,
                  end - kPackageHeadSize);
    }
    return window_;
  }

 private:
  const std::uint8_t* const package_;
  std::uint8_t head_[kPackageHeadSize] = {};
  std::uint8_t window_[kSendChunkSize];
};

// What the staging copy takes: a package at a non-null address, of 1 byte up
// to one below the write limit (the most a 10 MiB block holds with room for
// one more header), as the receive block's own writes.
bool StagingTakes(const void* package, std::int32_t length) {
  return package != nullptr && length > 0 &&
         static_cast<std::uint32_t>(length) < kShiftBufferWriteLimit;
}

// The line of a refused staging copy; a line that cannot be written is
// dropped.
void LogRefusedStaging(Logger& log, std::int32_t length) {
  try {
    log.LogError(kOverWriteOverflowFormat, 0, static_cast<int>(length));
  } catch (const std::exception&) {
    // the line is lost, nothing else
  }
}

void LogStagedHead(Logger& log, const std::uint8_t* head) {
  const std::uint32_t message_id = ReadMessageId(head);
  log.LogInfo("%s", kFarFunctionSend);
  log.LogInfo(kFarFunctionMessageIdFormat,
              static_cast<unsigned long>(message_id));
  log.LogInfo(kFarFunctionFunctionIdFormat,
              static_cast<int>(FunctionId(message_id)));
  log.LogInfo(kFarFunctionDatasizeFormat,
              static_cast<unsigned long>(ReadDatasize(head)));
  log.LogInfo(kFarFunctionTimeStampFormat,
              static_cast<unsigned long>(ReadTimeStamp(head, 0)));
}

// A short package goes out in one write, all or nothing: no error code is
// read and the count taken is not looked at.
std::int32_t WriteWhole(WfHandle channel, const std::uint8_t* package,
                        std::uint32_t length) {
  WfDword taken = 0;
  return WFVirtualChannelWrite(channel, Bytes(package), length, &taken) != 0
             ? 0
             : 1;
}

}  // namespace

std::int32_t SendBulkData(const SendTarget& target, const void* data,
                          std::uint32_t length) {
  if (RefuseBulkSend(target.log, data, length)) return 1;
  const auto* const bytes = static_cast<const std::uint8_t*>(data);
  port::LockGuard one_send_at_a_time(target.send_lock);
  return WriteInChunks(
      target.channel, target.log,
      [bytes](std::uint32_t at, std::uint32_t) { return bytes + at; }, length);
}

std::int32_t SendFarFunction(const SendTarget& target, const void* package,
                             std::int32_t length) {
  Logger& log = target.log;
  const auto length32 = static_cast<std::uint32_t>(length);
  const bool copied = StagingTakes(package, length);
  if (!copied) {
    LogRefusedStaging(log, length);
    // A refused copy leaves a header of zeros: sending it would put zeros on
    // the wire. Only a length that the bulk sender refuses as well (a
    // negative one, or 10 MiB and more) goes on, to report the zeroed header
    // and be refused there; nothing is written either way.
    if (length32 < kBulkSendLimit) return 1;
  }
  if (copied && length32 < kPackageHeadSize) {
    // Stamped with a datasize below the header's size, it would corrupt the
    // stream; refused whole.
    log.LogError(kFarFunctionTooShortFormat, static_cast<int>(length));
    return 1;
  }
  OutgoingPackage outgoing(
      copied ? static_cast<const std::uint8_t*>(package) : nullptr, length32);

  port::LockGuard one_send_at_a_time(target.send_lock);
  LogStagedHead(log, outgoing.head());
  if (length32 < kSendChunkSize) {
    return WriteWhole(target.channel, outgoing.Range(0, length32), length32);
  }
  if (RefuseBulkSend(log, outgoing.head(), length32)) return 1;
  return WriteInChunks(
      target.channel, log,
      [&outgoing](std::uint32_t at, std::uint32_t count) {
        return outgoing.Range(at, count);
      },
      length32);
}

}  // namespace qvctx
