// The two senders behind ServerRegisterFarFunction and ServerSendBulkData.
//
// Both are handed what they use (SendTarget): the channel handle as the call
// found it, where their lines go, and the send lock, which they hold around
// all the writes of one call, so the packages of two threads never interleave
// on the wire. Lock order: the reader's dispatch lock (a callback that sends),
// then the send lock, then the log writer's lock; nothing takes them the other
// way round.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_

#include <cstdint>

#include "channel/wfapi.h"
#include "diagnostics/logger.h"
#include "platform/platform.h"

namespace qvctx {

// What one send uses, handed over by the owner of the session.
struct SendTarget {
  WfHandle channel;  // the channel written to
  Logger& log;       // where the send's lines go
  // One send at a time on the wire: without it the chunks of two host
  // threads interleave and the client receives a corrupted stream. Taken
  // once per call, after the staging copy.
  port::RecursiveLock& send_lock;
};

// Sends one far-function package of `length` bytes laid out by the host: its
// header is staged and stamped (FNCTyp 0, magic, datasize, ulLength2,
// usReserved) and the package written in one write below kSendChunkSize
// bytes, in chunks otherwise. The host's bytes are never changed. A package
// that the staging copy refuses (null, length 0 or less, or not below
// kShiftBufferWriteLimit) is never written. 0 when written, 1 when refused or
// the write failed.
std::int32_t SendFarFunction(const SendTarget& target, const void* package,
                             std::int32_t length);

// Writes `length` bytes as they are, in chunks of at most kSendChunkSize,
// surviving 100 failed or empty writes. 0 when all were written, 1 when the
// length is kBulkSendLimit or more, `data` is null with bytes to send, or the
// failures ran out.
std::int32_t SendBulkData(const SendTarget& target, const void* data,
                          std::uint32_t length);

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
