// What the sample host needs from the operating system besides what the
// tools share (qvctx_port): whether stderr is a terminal, and where the
// library's log file is.
#ifndef QVCTX_TOOLS_HOST_HOST_SYSTEM_H_
#define QVCTX_TOOLS_HOST_HOST_SYSTEM_H_

#include <string>

#include "qvctx_port/paths.h"

namespace qvctx_host {

// True when stderr is a terminal (not a file or a pipe).
bool StderrIsTerminal();

// The library's log file "C:\temp\logs\myCitrixLog.log" as this process can
// open it.
inline std::string LogFilePath() {
  return qvctx_port::DriveCPath("temp\\logs\\myCitrixLog.log");
}

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_HOST_SYSTEM_H_
