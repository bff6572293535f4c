// Every fixed text of the diagnostics layer: the fixed paths, the log file's
// line layouts, banner and closing line, and the session log's texts. Kept
// exactly as the library has always written them, odd spelling and trailing
// blanks included: hosts and their support staff read them.
#ifndef QVCTX_SRC_DIAGNOSTICS_MESSAGES_H_
#define QVCTX_SRC_DIAGNOSTICS_MESSAGES_H_

namespace qvctx {

// The fixed paths that every writer uses, whatever the configuration says.
inline constexpr char kLogFilePath[] = "C:\\temp\\logs\\myCitrixLog.log";
inline constexpr char kFirstConfigPath[] = "C:\\temp\\logs\\config.ini";

// A log-file line: level, local time of day, a blank and a tab, the process
// tag (empty unless "logProcessTag" asks for it), the message.
inline constexpr char kInfoLineFormat[] = "Info - %02d:%02d:%02d:%03d \t%s%s";
inline constexpr char kErrorLineFormat[] = "ERROR - %02d:%02d:%02d:%03d \t%s%s";
// The process tag: the process id and the session id, each followed by a
// blank, so "pid 1234 " finds one process's lines and nothing else.
inline constexpr char kProcessTagFormat[] = "[pid %u sid %u] ";

// The banner every writer whose file opened begins with.
inline constexpr char kBannerBegin[] =
    "====== BEGIN:: qvRemote CITRIX module =========== ";
inline constexpr char kBannerConfigFile[] = "Configfile= %s";
inline constexpr char kBannerLogFileName[] = "logfileName= %s";
inline constexpr char kBannerLogLevel[] = "logLevel= %d";
inline constexpr char kBannerLogAppend[] = "logAppend= %d";
inline constexpr char kBannerLogMax[] = "iLogMax=%d";
inline constexpr char kBannerHostIp[] = "hostIpAddress=%s";
inline constexpr char kBannerPort[] = "uiPort=%d";
inline constexpr char kBannerComputerName[] = "hostComputerName=%s";
inline constexpr char kBannerUserName[] = "hostUserName=%s";
// The last line of every writer whose file was open.
inline constexpr char kLogClosingLine[] =
    "===============Finish Loging================";

// The session log: the level prefixes of its lines, what follows each line in
// the fetched text (its last character is dropped), the text when there are
// no lines, and the text when it cannot be built for want of memory (static,
// so freeing it is never asked of anyone).
inline constexpr char kSessionInfoPrefix[] = "Info - ";
inline constexpr char kSessionErrorPrefix[] = "Error - ";
inline constexpr char kLineSeparator[] = " &";
inline constexpr char kNoLogs[] = "No logs";
inline constexpr char kSessionLogUnavailable[] =
    "Error - ServerSessionLog:: out of memory";

}  // namespace qvctx

#endif  // QVCTX_SRC_DIAGNOSTICS_MESSAGES_H_
