// The two senders behind ServerRegisterFarFunction and ServerSendBulkData.
//
// Both write to the channel handle that `channel` holds at the time of each
// write (whoever owns the session may replace it meanwhile), and hold the send
// lock around all the writes of one call, so the packages of two threads never
// interleave on the wire. Lock order: the reader's dispatch lock (a callback
// that sends), then the send lock, then the log writer's lock; nothing takes
// them the other way round.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_

#include <atomic>
#include <cstdint>

#include "channel/wfapi.h"

namespace qvctx {

// Sends one far-function package of `length` bytes laid out by the host: its
// header is staged and stamped (FNCTyp 0, magic, datasize, ulLength2,
// usReserved) and the package written in one write below kSendChunkSize
// bytes, in chunks otherwise. The host's bytes are never changed. A package
// that the staging copy refuses (null, length 0 or less, or not below
// kShiftBufferWriteLimit) is never written. 0 when written, 1 when refused or
// the write failed.
std::int32_t SendFarFunction(const std::atomic<WfHandle>& channel,
                             const void* package, std::int32_t length);

// Writes `length` bytes as they are, in chunks of at most kSendChunkSize,
// surviving 100 failed or empty writes. 0 when all were written, 1 when the
// length is kBulkSendLimit or more, `data` is null with bytes to send, or the
// failures ran out.
std::int32_t SendBulkData(const std::atomic<WfHandle>& channel,
                          const void* data, std::uint32_t length);

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
