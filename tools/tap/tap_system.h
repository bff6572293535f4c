// What the tap needs of the operating system beyond qvctx_port, one file per
// platform.
#ifndef QVCTX_TOOLS_TAP_TAP_SYSTEM_H_
#define QVCTX_TOOLS_TAP_TAP_SYSTEM_H_

#include <cstdint>
#include <string>

namespace qvtap {

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
