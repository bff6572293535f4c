// This process as the system sees it: the thread's last-error code, the
// file the calling code lives in, the process and the session it runs in.
#ifndef QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PROCESS_H_
#define QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PROCESS_H_

#include <cstdint>
#include <string>

namespace qvctx_port {

// The calling thread's last-error code: GetLastError on Windows, errno
// elsewhere, which is where the platform's library leaves it.
std::uint32_t LastError();
void SetLastError(std::uint32_t code);

// The full path of the file this code is linked into: the program, or the
// shared library that links qvctx_port. Empty when it cannot be told.
std::string OwnModulePath();

// True when `address` lies in that same file. (Comparing with the address
// of an exported function would not do: the loader may bind that name to
// another library's function of the same name.)
bool IsInOwnModule(const void* address);

// This process's id.
std::uint32_t ProcessId();

// The id of the session this process runs in, where the system has one
// (Windows: the Remote Desktop or ICA session); false elsewhere, or when it
// cannot be told.
bool SessionId(std::uint32_t* id);

}  // namespace qvctx_port

#endif  // QVCTX_TOOLS_PORTABILITY_INCLUDE_QVCTX_PORT_PROCESS_H_
