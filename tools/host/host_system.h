// What the sample host needs from the operating system besides loading
// libraries: where its executable lies, the libraries' file names, whether
// stderr is a terminal, and where the library's log file is.
#ifndef QVCTX_TOOLS_HOST_HOST_SYSTEM_H_
#define QVCTX_TOOLS_HOST_HOST_SYSTEM_H_

#include <string>

namespace qvctx_host {

// The folder holding this executable, without a trailing separator; empty
// when the system does not say.
std::string ExecutableFolder();

// `folder` and `name` joined by the system's separator.
std::string JoinPath(const std::string& folder, const std::string& name);

// The file name of a library by its base name: "qvctx" -> "qvctx.dll" on
// Windows, "libqvctx.so" elsewhere.
std::string LibraryFileName(const std::string& base_name);

// True when stderr is a terminal (not a file or a pipe).
bool StderrIsTerminal();

// The library's log file "C:\temp\logs\myCitrixLog.log" as this process can
// open it: the path itself on Windows; on Linux under the folder that
// $QVCTX_DRIVE_C names (or "/"), as the library maps drive letters.
std::string LogFilePath();

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_HOST_SYSTEM_H_
