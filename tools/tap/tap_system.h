// What the tap needs of the operating system beyond qvctx_port (the last
// error, its own file, the process), one file per platform.
#ifndef QVCTX_TOOLS_TAP_TAP_SYSTEM_H_
#define QVCTX_TOOLS_TAP_TAP_SYSTEM_H_

#include <cstdint>
#include <string>

namespace qvtap {

// The Windows code of a library that cannot be loaded (ERROR_MOD_NOT_FOUND).
constexpr std::uint32_t kErrorModuleNotFound = 126;

// The value of an environment variable; empty when unset.
std::string Environment(const char* name);

// Where the platform's library lives when nothing else is configured:
// %SystemRoot%\System32\wfapi64.dll on Windows; empty elsewhere.
std::string DefaultTargetPath();

// Says `text` where a person finds it: stderr on POSIX, the debugger's
// output on Windows.
void Announce(const std::string& text);

}  // namespace qvtap

#endif  // QVCTX_TOOLS_TAP_TAP_SYSTEM_H_
