// Where things are on this machine: this program's folder, a library's file
// name, and the library's "C:\..." paths as this process opens them.
#ifndef QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PATHS_H_
#define QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PATHS_H_

#include <string>

namespace qvctx_port {

// The folder holding this executable, without a trailing separator; empty
// when the system does not say.
std::string ExecutableFolder();

// `folder` and `name` joined by the system's separator; `name` alone when
// `folder` is empty.
std::string JoinPath(const std::string& folder, const std::string& name);

// The file name of a library by its base name: "qvctx" -> "qvctx.dll" on
// Windows, "libqvctx.so" elsewhere.
std::string LibraryFileName(const std::string& base_name);

// "C:\" followed by `windows_relative` ("temp\\logs\\myCitrixLog.log") as
// this process can open it: that path itself on Windows; elsewhere under
// the folder $QVCTX_DRIVE_C names (or "/"), backslashes turned to slashes,
// as the library maps its drive letters.
std::string DriveCPath(const std::string& windows_relative);

}  // namespace qvctx_port

#endif  // QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PATHS_H_
