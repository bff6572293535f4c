/* qvctx: the server end of the "qvctx" virtual channel.
 *
 * A host application loads this library inside a user's remote (ICA)
 * session. Over the channel the host sends far-function calls and bulk data to
 * the companion component on the user's client; the client's events and
 * results come back through two callbacks that the host registers.
 *
 * Conventions
 * -----------
 * Calling order:
 *   1. Load the library. Loading does nothing that is unsafe under the
 *      loader lock: it reads no file, starts no thread, opens no channel and
 *      writes no log line. The first call of any function after the load
 *      reads the configuration file, once per load; so a file written
 *      between the load and that call is read.
 *   2. ServerRegisterEventCallBackFunction and
 *      ServerRegisterResultCallBackFunction. A complete package that arrives
 *      while its callback is not registered is consumed without a call.
 *   3. ServerStartSession. Send nothing unless it returned 0.
 *   4. ServerRegisterFarFunction and ServerSendBulkData, from any thread, any
 *      number of times, while the session is open.
 *   5. ServerSessionLog, each call followed by ServerSessionFreeLog once the
 *      text is no longer needed; at any time.
 *   6. ServerCloseSession. It stops the reader thread, empties both callback
 *      slots, closes the channel and closes the log file. Register the
 *      callbacks again before the next ServerStartSession.
 *   7. Unload. Close the session first: unloading does not stop the reader.
 *      A host that unloads with the session still running does not crash:
 *      the reader keeps the library loaded, and the session goes on until it
 *      is closed or the process ends. Loading the library again gives the
 *      same instance, whose ServerCloseSession stops the reader and lets the
 *      library go. The last unload unloads once every reader has ended,
 *      also one whose callback closed the session: a reader still in its
 *      callback keeps the library loaded until the callback returns, then
 *      lets it go itself (the unload's handling then runs on it). After its
 *      last unload the host calls nothing through pointers it kept: to close
 *      a session it left running it loads the library again first.
 *   ServerGetLastError and the informational entry points (ServerSessionInfo,
 *   ServerQueryInformation, ServerSetInformation, ServerSessionReset) may be
 *   called at any point; they only write a log line.
 *
 * Threads: every function may be called from any host thread, and from
 *   several at once. The library runs one thread of its own, the reader; the
 *   callbacks run on it, one at a time. A callback may register callbacks and
 *   send; registering from another thread waits until a running callback has
 *   returned. ServerStartSession and ServerCloseSession take turns: a close
 *   or start that arrives while another is under way waits for it to finish,
 *   then does its own steps (a second close finds nothing left to release).
 *   A close waits for a running callback to return and for the reader thread
 *   to end before it releases the channel; so never call it where the reader
 *   cannot end, such as under the Windows loader lock (DllMain). A callback
 *   may close the session: that close returns at once (the reader ends when
 *   the callback returns); if another thread's close is already waiting for
 *   the reader, the callback's close leaves the work to it. No host call
 *   waits for a callback of a session that has already been closed: once a
 *   callback has closed its own session, a ServerStartSession or
 *   ServerCloseSession on a host thread goes on while that callback still
 *   runs, and its reader ends on its own when it returns. A callback that
 *   starts a session gets 1 while the reader it runs on still belongs to the
 *   session (and 1 at once while a close waits for it).
 *
 * Receiving: the reader waits for a whole 34-byte header before it decides
 *   anything about a package, then for the package's datasize bytes. Its
 *   10 MiB buffer is reserved when the session starts and takes memory only
 *   as packages first fill it (on Windows committed 64 KiB at a time), so
 *   an idle session costs at most 64 KiB of it.
 *
 * Ownership: the library never keeps or frees memory of the host. The package
 *   a callback receives lives in the library and is valid only during the
 *   call. The text of ServerSessionLog belongs to the library and stays valid
 *   until ServerSessionFreeLog.
 *
 * Null: a null callback empties its slot. A null package, or null data with
 *   a non-zero length, is refused (result 1, nothing written).
 *
 * Results: 0 for success, 1 for failure, unless a function says otherwise.
 *   No function throws or lets an exception escape.
 *
 * Log file: "C:\temp\logs\myCitrixLog.log" (the folder is never created),
 *   shared by every process that loads the library: each line is appended in
 *   one write, so lines of several processes never overwrite each other. It
 *   may be renamed or deleted while in use; the open writer goes on in the
 *   renamed file and the next writer creates a new one.
 *
 * Rules for the host:
 *   A callback must not throw: an exception leaving it crosses a C interface,
 *   and the library only catches it to log "ServerDataProccesorThread::
 *   CATCHED FATAL ERROR" and drop the package.
 *   A callback must not wait for a host thread that is registering a callback
 *   or closing the session, since that thread waits for the callback to
 *   return. Once the callback has closed its own session it may: no host
 *   call waits for it then, so a callback that closes the session and then
 *   takes a lock the host holds while it starts or closes a session does not
 *   block that host call.
 *   A callback that calls ServerStartSession while a host thread's
 *   ServerCloseSession waits for that callback gets 1 at once and the log
 *   line "ServerStartSession:: the session is being closed - nothing
 *   started"; nothing is started, and that close does all its steps and
 *   returns 0 when the session had started.
 *   A package whose messageID is 0 never arrives: the reader refuses it, and it
 *   holds back every package behind it until the reader's buffer overflows.
 *   A second ServerStartSession without a ServerCloseSession in between
 *   returns 1 and stops the reader that is running.
 *   Sends are serialised: the bytes of two threads sending at once never
 *   interleave on the channel.
 *   The library must not be called from a DllMain, where the loader lock is
 *   held.
 *
 * Version: QVCTX_VERSION_MAJOR, _MINOR, _PATCH and QVCTX_VERSION_STRING
 *   (qvctx/qvctx_version.h, beside this header) name the release whose header
 *   this is; the DLL's version resource carries the same number.
 *
 * Loading by name: a host that does not link the import library looks the
 *   functions up through the PFN_ types below, for example in C on Windows:
 *
 *     HMODULE qvctx = LoadLibraryA("qvctx.dll");
 *     PFN_ServerStartSession start = (PFN_ServerStartSession)(void (*)(void))
 *         GetProcAddress(qvctx, "ServerStartSession");
 *     PFN_ServerCloseSession finish = (PFN_ServerCloseSession)(void (*)(void))
 *         GetProcAddress(qvctx, "ServerCloseSession");
 *     if (start != NULL && finish != NULL && start() == 0) {
 *       ... send, receive ...
 *       finish();
 *     }
 *     FreeLibrary(qvctx);  (only after the close)
 *
 *   On Linux dlopen and dlsym do the same; the library's run-time name is
 *   libqvctx.so.MAJOR.MINOR before release 1.0 and libqvctx.so.MAJOR after.
 */
#ifndef QVCTX_QVCTX_H_
#define QVCTX_QVCTX_H_

#if defined(_WIN32) && !defined(_WIN64)
#error "qvctx is a 64-bit library: build the host for x64."
#endif

#include <stdint.h>

#include "qvctx/qvctx_version.h"

#if defined(_WIN32)
#if defined(QVCTX_BUILDING_LIBRARY)
#define QVCTX_API __declspec(dllexport)
#else
#define QVCTX_API __declspec(dllimport)
#endif
#else
#define QVCTX_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The 34-byte header in front of every package, in either direction. All
 * fields are little-endian; there is no padding, so the time stamps are not
 * 4-byte aligned. */
#pragma pack(push, 1)
typedef struct PACKAGEHEAD {
  uint16_t FNCTyp;          /* 0 call from the server, 1 event, 2 result */
  uint16_t usMagic;         /* always 10001 (0x2711) */
  uint32_t messageID;       /* chosen by the host; low byte = function id */
  uint32_t datasize;        /* whole package length, header included */
  uint32_t ulLength2;       /* the sender writes datasize again */
  uint16_t usReserved;      /* the sender writes 0 */
  uint32_t ulTimeStamps[4]; /* passed through untouched */
} PACKAGEHEAD;
#pragma pack(pop)

/* Fails to compile unless PACKAGEHEAD is exactly 34 bytes. */
typedef char
    qvctx_packagehead_is_34_bytes[(sizeof(PACKAGEHEAD) == 34) ? 1 : -1];

/* Receives a complete package from the client: the address of its first byte
 * (its PACKAGEHEAD) and its length, equal to the header's datasize. Runs on
 * the library's reader thread; the bytes are valid only during the call. */
typedef void (*PackageCallBack)(const uint8_t* package, uint32_t length);

/* Checks the ICA session, opens the channel and starts the reader thread.
 * 0 when the reader runs; 1 when a step failed (see ServerSessionLog). */
QVCTX_API int32_t ServerStartSession(void);

/* Stops the reader, clears both callbacks, releases the channel and closes
 * the log file. Always does every step; returns ServerGetLastError's value. */
QVCTX_API int32_t ServerCloseSession(void);

/* Stores the callback for event packages (function type 1); null empties
 * the slot. Always 0. */
QVCTX_API int32_t ServerRegisterEventCallBackFunction(PackageCallBack callback);

/* Stores the callback for result packages (function type 2); null empties
 * the slot. Always 0. */
QVCTX_API int32_t
ServerRegisterResultCallBackFunction(PackageCallBack callback);

/* Sends one package of `length` bytes laid out by the host, PACKAGEHEAD
 * first. The library stamps FNCTyp 0, the magic, datasize and ulLength2 in
 * its own copy; the host's bytes are not changed. 0 written, 1 not. A
 * package shorter than its 34-byte header (length 1 to 33: the client could
 * not frame it) is refused with 1, nothing written and one error line in the
 * log file; so are a null package and a length of 0, below 0 or from
 * 10485726 on. */
QVCTX_API int32_t ServerRegisterFarFunction(const void* package,
                                            int32_t length);

/* Sends `length` bytes as they are, fewer than 10485760: nothing is added
 * or stamped. The client reads the channel as a stream of whole packages, so
 * the bytes must be one or more whole packages that the host laid out itself,
 * every header field filled in (bytes that are no package are skipped by the
 * client as unframed, and so may be the packages behind them):
 *
 *   offset  0  FNCTyp       uint16  0 (a call from the server)
 *           2  usMagic      uint16  10001 (0x2711)
 *           4  messageID    uint32  the host's
 *           8  datasize     uint32  the whole package's length, header included
 *          12  ulLength2    uint32  datasize again
 *          16  usReserved   uint16  0
 *          18  ulTimeStamps 4 x uint32, the host's
 *          34  payload      datasize - 34 bytes
 *
 * all little-endian. 0 when all were written, 1 otherwise. */
QVCTX_API int32_t ServerSendBulkData(const void* data, uint32_t length);

/* The session-log lines gathered since the last call, joined by " &", or
 * "No logs". Never null; owned by the library until ServerSessionFreeLog. */
QVCTX_API const char* ServerSessionLog(void);

/* Releases the text last returned by ServerSessionLog; no effect when none
 * is held. */
QVCTX_API void ServerSessionFreeLog(void);

/* State of the last ServerStartSession: 0 the reader was started or the start
 * failed before that step; 1 before any start or when the reader could not
 * be started. */
QVCTX_API int32_t ServerGetLastError(void);

/* Informational entry points: each writes one log line and returns 0. */
QVCTX_API int32_t ServerSessionInfo(void);
QVCTX_API int32_t ServerQueryInformation(void);
QVCTX_API int32_t ServerSetInformation(void);
/* Resets nothing; writes its line at error level. */
QVCTX_API int32_t ServerSessionReset(void);

/* The type of each export, for a host that loads the library by name
 * (GetProcAddress, dlsym). */
typedef int32_t (*PFN_ServerStartSession)(void);
typedef int32_t (*PFN_ServerCloseSession)(void);
typedef int32_t (*PFN_ServerRegisterEventCallBackFunction)(PackageCallBack);
typedef int32_t (*PFN_ServerRegisterResultCallBackFunction)(PackageCallBack);
typedef int32_t (*PFN_ServerRegisterFarFunction)(const void*, int32_t);
typedef int32_t (*PFN_ServerSendBulkData)(const void*, uint32_t);
typedef const char* (*PFN_ServerSessionLog)(void);
typedef void (*PFN_ServerSessionFreeLog)(void);
typedef int32_t (*PFN_ServerGetLastError)(void);
typedef int32_t (*PFN_ServerSessionInfo)(void);
typedef int32_t (*PFN_ServerQueryInformation)(void);
typedef int32_t (*PFN_ServerSetInformation)(void);
typedef int32_t (*PFN_ServerSessionReset)(void);

#ifdef __cplusplus
}
#endif

#endif /* QVCTX_QVCTX_H_ */
