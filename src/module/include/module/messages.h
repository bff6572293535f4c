// Every fixed text of the module layer: the configuration's file, section and
// key names, the channel's name, and the lines of the exports and of the
// session start and close. Hosts and their support staff read these texts
// (and some match on them), so each is kept exactly as the library has
// always written it, odd spelling and trailing blanks included.
#ifndef QVCTX_SRC_MODULE_MESSAGES_H_
#define QVCTX_SRC_MODULE_MESSAGES_H_

#include "diagnostics/session_step.h"

namespace qvctx {

// The configuration file: the second place searched, appended to the user's
// application-data folder (the first is kFirstConfigPath), its sections and
// keys.
inline constexpr char kConfigPathInAppData[] =
    "\\Quorvel\\QVCTXExtension\\config.ini";
inline constexpr char kServerSection[] = "server";
inline constexpr char kPortKey[] = "port";
inline constexpr char kIpKey[] = "ip";
inline constexpr char kDefaultIp[] = "127.0.0.1";
inline constexpr char kCommonSection[] = "common";
inline constexpr char kLogEnabledKey[] = "logEnabled";
inline constexpr char kLogLevelKey[] = "logLevel";
inline constexpr char kLogAppendKey[] = "logAppend";
inline constexpr char kLogLenMaxKey[] = "logLenMax";
inline constexpr char kLogFileKey[] = "logFile";
inline constexpr char kReadWaitKey[] = "readWaitMs";
inline constexpr char kLogProcessTagKey[] = "logProcessTag";
// The computer or user name that cannot be had.
inline constexpr char kUnknownName[] = "unknown";

// The virtual channel the session opens.
inline constexpr char kVirtualChannelName[] = "qvctx";

// The exports' own lines.
inline constexpr char kEscapedExceptionFormat[] = "%s:: %s";
inline constexpr char kUnknownException[] = "unknown exception";
// The export whose failed step the close reports itself.
inline constexpr char kCloseExportName[] = "ServerCloseSession";
inline constexpr char kGetLastErrorEntering[] =
    "ServerGetLastError:: Entering function";
inline constexpr char kSessionInfoEntering[] =
    "ServerSessionInfo:: Entering function";
inline constexpr char kQueryInformationEntering[] =
    "ServerQueryInformation:: Entering function";
inline constexpr char kSetInformationEntering[] =
    "ServerSetInformation:: Entering function";
inline constexpr char kSessionResetEntering[] =
    "ServerSessionReset:: Entering function";

// The steps of the session start and close, each as its log-file line and
// its session-log line (see WriteStep). Where the two differ (a trailing
// blank, a period, a blank after '='), they always have.

inline constexpr StepLines kStartEntering = {
    "ServerStartSession:: Entering function",
    "ServerStartSession:: Entering function"};
inline constexpr StepLines kQuerySessionFailed = {
    "ServerStartSession:: WFQuerySessionInformation() failed - %d",
    "ServerStartSession:: WFQuerySessionInformation() failed - "};
inline constexpr StepLines kNotInIcaSession = {
    "ServerStartSession:: This program must be run from within an ICA "
    "session.",
    "ServerStartSession:: This program must be run from within an ICA "
    "session."};
inline constexpr StepLines kSessionInfoCorrect = {
    "ServerStartSession:: Sessioninfo is correct.",
    "ServerStartSession:: Sessioninfo is correct."};
inline constexpr StepLines kOpenFailed = {
    "ServerStartSession:: WFVirtualChannelOpen Failed - error %d.",
    "ServerStartSession:: WFVirtualChannelOpen Failed - error "};
inline constexpr StepLines kOpened = {
    "ServerStartSession:: WFVirtualChannelOpen, handle is %ld.",
    "ServerStartSession:: WFVirtualChannelOpen, handle is "};
inline constexpr StepLines kQueryFailed = {
    "ServerStartSession:: WFVirtualChannelQuery Failed - error %d.",
    "ServerStartSession:: WFVirtualChannelQuery Failed - error "};
inline constexpr StepLines kQueried = {
    "ServerStartSession:: WFVirtualChannelQuery alles ok!",
    "ServerStartSession:: WFVirtualChannelQuery alles ok! "};
inline constexpr StepLines kCreateReadBuffer = {
    "ServerStartSession:: create tmp read data buffer",
    "ServerStartSession:: create tmp read data buffer"};
inline constexpr StepLines kHeadSize = {
    "ServerStartSession:: Sizeof PACKAGEHEAD = %d",
    "ServerStartSession:: Sizeof PACKAGEHEAD = "};
// Written to the log file alone.
inline constexpr char kReadBufferFailed[] =
    "ServerStartSession:: Error allocating memory";
// A callback's start while a close waits for that callback's reader.
inline constexpr char kStartDuringClose[] =
    "ServerStartSession:: the session is being closed - nothing started";
inline constexpr StepLines kInitializeFifo = {
    "ServerStartSession:: Initialize the FIFO",
    "ServerStartSession:: Initialize the FIFO"};
inline constexpr StepLines kInitializeReader = {
    "ServerStartSession:: Initialize the ServerDataProccesorThread.",
    "ServerStartSession:: Initialize the ServerDataProccesorThread."};
inline constexpr StepLines kStartResult = {
    "ServerStartSession:: Exit function => result = %d",
    "ServerStartSession:: Exit function => result = "};

inline constexpr StepLines kCloseThreads = {
    "ServerCloseSession:: Close all thread handles upon completion.! ",
    "ServerCloseSession:: Close all thread handles upon completion.!"};
inline constexpr StepLines kFreedClientData = {
    "ServerCloseSession::WFFreeMemory1 done!",
    "ServerCloseSession::WFFreeMemory1 done!"};
inline constexpr StepLines kFreedSessionInfo = {
    "ServerCloseSession::WFFreeMemory2 done!",
    "ServerCloseSession::WFFreeMemory2 done!"};
inline constexpr StepLines kChannelCloseFailed = {
    "ServerCloseSession::WFVirtualChannelClose - ecode =%d",
    "ServerCloseSession::WFVirtualChannelClose - ecode = "};
inline constexpr StepLines kFreedReadBuffer = {
    "ServerCloseSession:: Free the gloabal memory "
    "<myModuleData.GlobalReadDataTmpPtr! ",
    "ServerCloseSession:: Free the gloabal memory "
    "<myModuleData.GlobalReadDataTmpPtr!"};

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_MESSAGES_H_
