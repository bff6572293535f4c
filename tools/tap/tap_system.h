// What the tap needs of the operating system, one file per platform.
#ifndef QVCTX_TOOLS_TAP_TAP_SYSTEM_H_
#define QVCTX_TOOLS_TAP_TAP_SYSTEM_H_

#include <cstdint>
#include <string>

namespace qvtap {

// The caller's last-error code: GetLastError on Windows, errno elsewhere,
// which is where the platform's library leaves it.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The full path of the tap's own file; empty when it cannot be told.
std::string OwnPath();

// The value of an environment variable; empty when unset.
std::string Environment(const char* name);

// Where the platform's library lives when nothing else is configured:
// %SystemRoot%\System32\wfapi64.dll on Windows; empty elsewhere.
std::string DefaultTargetPath();

// True when `address` lies in the tap's own file. (Comparing with the
// address of one of the tap's exports would not do: the loader may bind that
// name to another library's function of the same name.)
bool IsOwnCode(const void* address);

// Says `text` where a person finds it: stderr on POSIX, the debugger's
// output on Windows.
void Announce(const std::string& text);

}  // namespace qvtap

#endif  // QVCTX_TOOLS_TAP_TAP_SYSTEM_H_
