/* wfapi64 simulator: a stand-in for the platform's server-side
 * virtual-channel library, so that a host of qvctx can be built and tested on
 * a machine without the platform.
 *
 * Put wfapi64.dll (Windows) or libwfapi64.so (Linux) beside qvctx.dll /
 * libqvctx.so. qvctx loads it at its first ServerStartSession exactly as it
 * would load the platform's library, and the simulator then plays both the
 * platform and the client end of the "qvctx" channel. The functions of this
 * header, exported from the same library, let a test or a host program act as
 * the client: queue bytes and packages for the server to read, look at what
 * the server wrote, inject faults, and wait for either side. Link the import
 * library (libwfapi64.dll.a) or libwfapi64.so, or look the names up at run
 * time; either way the process holds one simulator, shared with qvctx.
 *
 * Conventions
 * -----------
 * The platform side: the simulator stands for the current server (handle
 *   null) and the current session (0xFFFFFFFF) only.
 *   - WFQuerySessionInformationA, information class 4: a 4-byte buffer whose
 *     first byte is 1 inside an ICA session and 0 outside (WfSimSetIcaSession).
 *   - WFVirtualChannelOpen: only the name "qvctx" (exact case) opens a channel;
 *     every open gives a new handle, and all open handles share one channel.
 *   - WFVirtualChannelQuery, class 0: an 8-byte buffer (contents unspecified).
 *   - WFVirtualChannelRead: whatever is queued, at most the buffer size and at
 *     most the piece size (WfSimSetReadPieceSize); 0 bytes when nothing is
 *     queued. A time-out above 0 waits up to that long for the first byte
 *     and returns as soon as it arrives (WfSimIgnoreReadTimeouts turns the
 *     wait off).
 *   - WFVirtualChannelWrite: takes all bytes (or the per-write cap) and
 *     reports the count taken.
 *   - WFFreeMemory: releases a buffer of either query; null, unknown or
 *     already released pointers are ignored.
 *   Handles are checked against a table of open handles: a read, write, query
 *   or close of a closed or unknown handle fails and never touches memory
 *   through it.
 *
 * Last error: a platform operation that fails returns 0 (or a null handle) and
 *   sets the calling thread's last-error code (SetLastError on Windows, errno
 *   elsewhere) to a Windows code: WFSIM_ERROR_INVALID_HANDLE for a closed or
 *   unknown handle, WFSIM_ERROR_INVALID_PARAMETER for a null pointer where one
 *   is needed or an unsupported server, session or class,
 *   WFSIM_ERROR_FILE_NOT_FOUND for a channel name other than "qvctx",
 *   WFSIM_ERROR_NOT_ENOUGH_MEMORY, or the code of an injected fault. A failed
 *   operation leaves its out-parameters as they were. Successful operations
 *   and the control functions of this header never change the last error.
 *
 * Faults: each operation has a countdown (WfSimFailCalls): the next
 *   `after_successes` calls that reach it run normally, the `count` calls
 *   after them fail with the given code. Calls refused for a bad handle or
 *   parameter are not counted down. Writes have two more: a per-write cap
 *   (partial writes) and a countdown of writes that report success with a
 *   count of 0 (WfSimZeroWrites).
 *
 * The built-in client (WfSimSetBuiltInClient, off by default) answers the
 *   server without any test code: it reassembles what the server writes into
 *   packages by the header's datasize (writes may cut a package anywhere) and
 *   answers every far-function call (FNCTyp 0) with a result package
 *   (FNCTyp 2, usMagic 10001, the same messageID, time stamps and payload,
 *   datasize and ulLength2 its length), queued for the server to read. A call
 *   whose messageID is 0 is consumed without an answer, since the qvctx
 *   reader would never accept one. Bytes that do not begin a package header
 *   (magic 10001, FNCTyp 0 to 3, datasize from 34 to 10485760) are skipped one
 *   at a time and counted (WfSimUnframedBytes).
 *
 * A client process: with the environment variable QVCTX_SIM_CONNECT set to
 *   "127.0.0.1:PORT", the client end is not played in this process: the
 *   first WFVirtualChannelOpen connects to a client process listening there
 *   (qvctx-client), and the channel's bytes travel over that loopback TCP
 *   connection exactly as they are, with no framing of their own; what the
 *   client sends reaches the server's reads in the pieces the socket
 *   delivers. The built-in client, WfSimClientSend* and WfSimTakeWritten are
 *   then unused (written bytes are counted, not kept). When no client
 *   listens, the open fails with WFSIM_ERROR_CONNECTION_REFUSED and a line on
 *   stderr. When the client ends the connection, the client is gone (see
 *   below); the next open connects afresh. Closing the last open channel
 *   (or WfSimReset) ends the connection.
 *
 * State that ends at exit: with the environment variable
 *   QVCTX_SIM_END_AT_EXIT set (to anything) when the library is loaded, the
 *   simulator's state ends at the process's exit as a real platform library's
 *   static state does: after the exit handlers registered after the library's
 *   load, before those registered before it. A read that reaches the state
 *   after that (one waiting in its read at the time, or any later one) ends
 *   the process with a line on stderr and an abort, as a real library
 *   crashes there; the end lets such a read come for a quarter of a second.
 *   Only on POSIX, where exit runs while other threads still call in.
 *
 * The client goes away: when its user disconnects (WfSimSetClientConnected(0),
 *   or a client process ending its connection), every channel handle opened
 *   before is cut off from the client for good, as on the platform: writes
 *   and queries on it fail with WFSIM_ERROR_BROKEN_PIPE; reads deliver what
 *   the client had sent before it left and then fail with
 *   WFSIM_ERROR_BROKEN_PIPE; the close still succeeds and is still needed.
 *   While the client is away (WfSimSetClientConnected(0) until
 *   WfSimSetClientConnected(1)) opens fail with WFSIM_ERROR_CONNECTION_REFUSED.
 *   The first open after the client is back starts a clean stream: nothing
 *   queued by the old connection is read on it, and the built-in client
 *   forgets a package it had begun. A host recovers by closing its session
 *   and starting a new one once the client is back.
 *
 * Recording: with QVCTX_SIM_RECORD set to a path prefix, the first open
 *   creates PREFIX.server.bin (every byte the server wrote) and
 *   PREFIX.client.bin (every byte the server read), exactly the channel's
 *   bytes in timed chunks (the time of every read and write; the format
 *   qvctx-tap writes too), and appends to them for the rest of the process,
 *   across resets; qvctx-dump decodes them, qvctx-client --replay plays
 *   them.
 *
 * Threads: every function may be called from any thread at any time: qvctx's
 *   reader reads while host threads write and a test injects. One lock guards
 *   all state; no function calls into user code. The wait functions block only
 *   their caller and return 1 when the time-out ends first, so tests never
 *   sleep blindly.
 *
 * Ownership: functions copy what they are given and what they hand out; the
 *   simulator keeps no pointer of the caller. Buffers from the two queries
 *   belong to the simulator until WFFreeMemory.
 *
 * Null: a null data pointer is allowed with a length of 0; with any other
 *   length the call fails (result 1) and nothing is queued. A null record
 *   pointer makes WfSimGetWriteRecord fail.
 *
 * Results: 0 for success, 1 for failure; the wait functions 0 when the
 *   condition holds, 1 on time-out. Counters and sizes are plain numbers.
 *
 * Defaults, and the state after WfSimReset: inside an ICA session, the
 *   client connected, no faults, no write cap, no piece size, built-in client
 *   off, written bytes kept, nothing queued or recorded, every counter 0, no
 *   handle open, no buffer held. Handle values keep increasing across resets,
 * so a handle from before a reset never names a channel opened after it.
 */
#ifndef QVCTX_WFAPI64_SIM_H_
#define QVCTX_WFAPI64_SIM_H_

#include <stdint.h>

#if defined(_WIN32)
#if defined(WFSIM_BUILDING_LIBRARY)
#define WFSIM_API __declspec(dllexport)
#else
#define WFSIM_API __declspec(dllimport)
#endif
#else
#define WFSIM_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The last-error codes the simulator sets by itself. */
#define WFSIM_ERROR_FILE_NOT_FOUND 2u
#define WFSIM_ERROR_INVALID_HANDLE 6u
#define WFSIM_ERROR_NOT_ENOUGH_MEMORY 8u
#define WFSIM_ERROR_INVALID_PARAMETER 87u
#define WFSIM_ERROR_BROKEN_PIPE 109u         /* the client process left */
#define WFSIM_ERROR_CONNECTION_REFUSED 1225u /* no client process listens */

/* A count of WfSimFailCalls and WfSimZeroWrites that never runs out. */
#define WFSIM_FOREVER 0xFFFFFFFFu

/* The platform operations, for counters and faults. The functions take the
 * value as an int32_t, so any number is safe to pass: unknown ones are
 * refused. */
typedef enum WfSimOperation {
  WFSIM_QUERY_SESSION = 0, /* WFQuerySessionInformationA */
  WFSIM_OPEN = 1,          /* WFVirtualChannelOpen */
  WFSIM_QUERY = 2,         /* WFVirtualChannelQuery */
  WFSIM_READ = 3,          /* WFVirtualChannelRead */
  WFSIM_WRITE = 4,         /* WFVirtualChannelWrite */
  WFSIM_CLOSE = 5,         /* WFVirtualChannelClose */
  WFSIM_FREE_MEMORY = 6    /* WFFreeMemory: counted only, cannot fail */
} WfSimOperation;

/* One call of WFVirtualChannelWrite, in call order. */
typedef struct WfSimWriteRecord {
  uint32_t requested; /* the length passed */
  uint32_t taken;     /* the count reported; 0 when the call failed */
  int32_t succeeded;  /* 1 when the call returned success, 0 otherwise */
  uint32_t error;     /* the last-error code of a failed call, else 0 */
} WfSimWriteRecord;

/* ---- State ------------------------------------------------------------ */

/* Back to the defaults: closes every handle, empties the queues and records,
 * zeroes the counters, clears every fault and setting. Buffers still held are
 * no longer counted; WFFreeMemory still releases them. */
WFSIM_API void WfSimReset(void);

/* Non-zero: the session query reports an ICA session (the default); 0: not. */
WFSIM_API void WfSimSetIcaSession(int32_t is_ica_session);

/* 0: the client goes away (its user disconnects): every open channel handle
 * is cut off, a client process sees its connection end, and opens fail until
 * the client is back. Non-zero (the default): the client is back; the next
 * open starts a clean stream (with QVCTX_SIM_CONNECT, a new connection). */
WFSIM_API void WfSimSetClientConnected(int32_t connected);

/* The value of the next handle WFVirtualChannelOpen returns; later opens
 * count on from it. 1 when `value` is 0 (never a handle). */
WFSIM_API int32_t WfSimSetNextHandle(uint64_t value);

/* Handles open now. */
WFSIM_API uint32_t WfSimOpenHandleCount(void);

/* Buffers of the two queries not yet released with WFFreeMemory. */
WFSIM_API uint32_t WfSimHeldBufferCount(void);

/* Calls of the operation since the reset, refused ones included; 0 for an
 * unknown operation. */
WFSIM_API uint64_t WfSimCallCount(int32_t operation);

/* Waits until the operation has been called at least `count` times. */
WFSIM_API int32_t WfSimWaitForCalls(int32_t operation, uint64_t count,
                                    uint32_t timeout_ms);

/* ---- Faults ----------------------------------------------------------- */

/* After `after_successes` calls run normally, the next `count` calls of the
 * operation fail with `error_code` (WFSIM_FOREVER: every later call). A count
 * of 0 clears the fault. Replaces the operation's earlier fault. 1 for
 * WFSIM_FREE_MEMORY or an unknown operation. */
WFSIM_API int32_t WfSimFailCalls(int32_t operation, uint32_t after_successes,
                                 uint32_t count, uint32_t error_code);

/* Each write takes at most `max_bytes` and reports that count (a partial
 * write); 0 removes the cap. */
WFSIM_API void WfSimSetWriteCap(uint32_t max_bytes);

/* After `after_successes` writes run normally, the next `count` writes take
 * nothing and report success with a count of 0. A count of 0 clears it. */
WFSIM_API void WfSimZeroWrites(uint32_t after_successes, uint32_t count);

/* Calls of the operation that an injected fault changed since it was set
 * (WfSimFailCalls; for WFSIM_WRITE also WfSimZeroWrites): a test can tell
 * that the fault it injected really fired. 0 after a reset, or for an unknown
 * operation. */
WFSIM_API uint32_t WfSimFaultsFired(int32_t operation);

/* ---- The client sends, the server reads -------------------------------- */

/* Queues `length` bytes for the server to read, behind anything queued. */
WFSIM_API int32_t WfSimClientSend(const void* data, uint32_t length);

/* Queues one package: a header with `fnc_typ`, usMagic 10001, `message_id`,
 * datasize and ulLength2 34 + `payload_length`, zero time stamps, then the
 * payload. 1 when the length would pass 4 GiB. */
WFSIM_API int32_t WfSimClientSendPackage(uint16_t fnc_typ, uint32_t message_id,
                                         const void* payload,
                                         uint32_t payload_length);

/* Queues an event package: WfSimClientSendPackage with FNCTyp 1. */
WFSIM_API int32_t WfSimClientSendEvent(uint32_t message_id, const void* payload,
                                       uint32_t payload_length);

/* A read delivers at most `max_bytes` (and at most its buffer size), so a
 * package can be forced across many reads; 0 removes the limit. */
WFSIM_API void WfSimSetReadPieceSize(uint32_t max_bytes);

/* Not 0: reads ignore their time-out and return at once, as a platform
 * that does not wait would; 0 (and the reset) honours it again. */
WFSIM_API void WfSimIgnoreReadTimeouts(int32_t on);

/* Reads wait at most `percent` (0 to 100) of their time-out, as a platform
 * that honours only part of it would; 100 (and the reset) the whole. */
WFSIM_API void WfSimSetReadWaitShare(uint32_t percent);

/* Bytes queued and not yet read by the server. */
WFSIM_API uint64_t WfSimPendingReadBytes(void);

/* Waits until the server has read everything queued. */
WFSIM_API int32_t WfSimWaitUntilRead(uint32_t timeout_ms);

/* ---- The server writes, the client receives ----------------------------- */

/* Bytes the server has written since the reset (taken ones included). */
WFSIM_API uint64_t WfSimWrittenTotal(void);

/* Non-zero (the default): written bytes are kept until WfSimTakeWritten
 * takes them. 0: they are only counted (and fed to the built-in client), so
 * a long run against the built-in client holds no copy of its traffic. */
WFSIM_API void WfSimSetKeepWritten(int32_t on);

/* Written bytes not yet taken with WfSimTakeWritten. */
WFSIM_API uint64_t WfSimWrittenAvailable(void);

/* Moves up to `capacity` of the oldest written bytes into `buffer`; returns
 * how many. */
WFSIM_API uint32_t WfSimTakeWritten(void* buffer, uint32_t capacity);

/* Waits until WfSimWrittenTotal reaches `total`. */
WFSIM_API int32_t WfSimWaitForWritten(uint64_t total, uint32_t timeout_ms);

/* Calls of WFVirtualChannelWrite recorded since the reset. */
WFSIM_API uint32_t WfSimWriteRecordCount(void);

/* The `index`-th call (from 0) into `*record`; 1 when there is none. */
WFSIM_API int32_t WfSimGetWriteRecord(uint32_t index, WfSimWriteRecord* record);

/* ---- The built-in client ------------------------------------------------ */

/* Non-zero turns it on (answers far-function calls, see above); 0 turns it
 * off and drops a package it had begun. */
WFSIM_API void WfSimSetBuiltInClient(int32_t on);

/* Far-function calls the built-in client has answered since the reset. */
WFSIM_API uint32_t WfSimAnsweredCount(void);

/* Written bytes the built-in client skipped: no package header began there. */
WFSIM_API uint64_t WfSimUnframedBytes(void);

/* ---- A client process (QVCTX_SIM_CONNECT) ------------------------------ */

#define WFSIM_BRIDGE_NONE 0      /* no connection (none asked for, or closed) */
#define WFSIM_BRIDGE_CONNECTED 1 /* connected to the client process */
#define WFSIM_BRIDGE_ENDED 2     /* the client ended it; channels still open */

/* The connection's state, one of WFSIM_BRIDGE_*. */
WFSIM_API int32_t WfSimBridgeState(void);

/* Waits until the connection's state is `state`. */
WFSIM_API int32_t WfSimWaitForBridgeState(int32_t state, uint32_t timeout_ms);

#ifdef __cplusplus
}
#endif

#endif /* QVCTX_WFAPI64_SIM_H_ */
