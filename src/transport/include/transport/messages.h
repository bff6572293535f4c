// Every fixed text of the transport layer: the lines of the reader thread and
// its owner, of the senders and of the shift buffer. Kept exactly as the
// library has always written them, odd spelling and trailing blanks
// included: hosts and their support staff read them.
#ifndef QVCTX_SRC_TRANSPORT_MESSAGES_H_
#define QVCTX_SRC_TRANSPORT_MESSAGES_H_

namespace qvctx {

// Registering a callback.
inline constexpr char kEventCallBackEnabled[] =
    "ServerRegisterEventCallBackFunction :: Call Back is Enabled!";
inline constexpr char kEventCallBackDisabled[] =
    "ServerRegisterEventCallBackFunction :: Call Back is DisEnabled!";
inline constexpr char kResultCallBackEnabled[] =
    "ServerRegisterResultCallBackFunction :: Call Back is Enabled!";
inline constexpr char kResultCallBackDisabled[] =
    "ServerRegisterResultCallBackFunction :: Call Back is DisEnabled!";

// Starting the reader.
inline constexpr char kReaderInit[] =
    "CPackageThread:: Init the ServerDataProccesorThread";
inline constexpr char kReaderAlreadyCreated[] =
    "CPackageThread:: THREAD HANDLE IS ALREADY CREATED!";
inline constexpr char kReaderCreateFailed[] =
    "CPackageThread:: FAILED TO CREATE THE THREAD!";
inline constexpr char kReaderCreated[] =
    "CPackageThread:: THREAD HANDLE IS CREATED SUCCESSFULLY!";
inline constexpr char kReaderStarted[] =
    "CPackageThread:: THREAD STARTED SUCCESSFULLY!";

// Stopping it.
inline constexpr char kTeardownWaiting[] =
    "CTcpClient::~CTcpClient:: waiting for thread to finish";
inline constexpr char kTeardownNotSignaled[] =
    "CTcpClient::~CTcpClient:: the threadEvent handle is not signaled";
inline constexpr char kTeardownReadyToClose[] =
    "CTcpClient::~CTcpClient:: ready to close the thread Handle.";
inline constexpr char kTeardownStillBusyFormat[] =
    "CTcpClient::~CTcpClient:: thread still busy after %d ms - waiting for "
    "it to end";
inline constexpr char kReaderDestroyed[] =
    "CPackageThread:: Thread is detroyed ";

// The reader thread itself.
inline constexpr char kReaderBeforeBuffer[] =
    "ServerDataProccesorThread:: before CShiftBuffer constructor...";
inline constexpr char kReaderAboutToStart[] =
    "ServerDataProccesorThread:: about to start the Thread...";
inline constexpr char kReaderBeforeLoop[] =
    "ServerDataProccesorThread:: before while loop...";
inline constexpr char kReaderTerminated[] =
    "ServerDataProccesorThread :: ****** Thread termnated! ******* ";
// Its own line feed makes an empty line after it.
inline constexpr char kReaderExitingFormat[] =
    "ServerDataProccesorThread :: Thread %d exiting\n";
// Written once when the reader starts, only with a configured read wait.
inline constexpr char kReaderReadWaitFormat[] =
    "ServerDataProccesorThread:: waits up to %u ms in each read";
inline constexpr char kReaderExitCodeStop[] =
    "ServerDataProccesorThread:: ***THREAD STOPPED - System.exitcode IS SET";
inline constexpr char kDispatchFormat[] =
    "ServerDataProccesorThread:: response to FNCTyp=%d - msgID=%d fncID=%d";
inline constexpr char kDispatchInvalidHeader[] =
    "ServerDataProccesorThread:: INVALID HEADER ";
inline constexpr char kDispatchFatalError[] =
    "ServerDataProccesorThread:: CATCHED FATAL ERROR";
inline constexpr char kInvalidDatasizeFormat[] =
    "ServerDataProccesorThread:: INVALID DATASIZE=%u - buffer cleared";

// The shift buffer.
inline constexpr char kShiftBufferNoMemory[] =
    "Memory allocation failed in CShiftBuffer constructor.";
inline constexpr char kAppendOverflowFormat[] =
    "AppendData::error buffer overflow --> pos=%d, length=%d";
// A write that fits but whose pages the system cannot commit.
inline constexpr char kAppendNoMemoryFormat[] =
    "AppendData::error out of memory --> pos=%d, length=%d";

// The far-function sender's staging copy, refused.
inline constexpr char kOverWriteOverflowFormat[] =
    "OverWrite::error buffer overflow --> pos=%d, length=%d";

// The bulk sender.
inline constexpr char kBulkTooBigFormat[] =
    "ServerSendBulkData:: Data size is to big!  Length=%d";
inline constexpr char kBulkNoDataFormat[] =
    "ServerSendBulkData:: no data to send!  Length=%d";
inline constexpr char kBulkSendFormat[] =
    "ServerSendBulkData:: send data Length=%d";
inline constexpr char kBulkChunkFormat[] =
    "ServerSendBulkData:: send  length=%d bytes to client";
inline constexpr char kBulkWriteFailedFormat[] =
    "ServerSendBulkData:: send Failed - error=%d";
inline constexpr char kBulkWriteTookNothing[] =
    "ServerSendBulkData:: send took 0 bytes";
inline constexpr char kBulkTooManyFailures[] =
    "ServerSendBulkData:: send Failed- to much Error";

// The far-function sender.
// A package shorter than its header: the client could not frame it, and
// every package behind it would be read out of step.
inline constexpr char kFarFunctionTooShortFormat[] =
    "CtxRegisterFarFunction:: package shorter than its header!  Length=%d";
inline constexpr char kFarFunctionSend[] =
    "CtxRegisterFarFunction: Send Data to client";
inline constexpr char kFarFunctionMessageIdFormat[] =
    "-->> CtxRegisterFarFunction::messageID = %lu";
inline constexpr char kFarFunctionFunctionIdFormat[] =
    "-->> CtxRegisterFarFunction::functionID = %d";
inline constexpr char kFarFunctionDatasizeFormat[] =
    "-->> CtxRegisterFarFunction::datasize = %lu";
inline constexpr char kFarFunctionTimeStampFormat[] =
    "-->> CtxRegisterFarFunction::ulTimeStamps[0] = %lu";

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_MESSAGES_H_
