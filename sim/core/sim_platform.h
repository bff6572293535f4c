// The one operating-system service the simulator needs of its own.
// sim_platform_windows.cpp and sim_platform_posix.cpp implement it; the build
// compiles exactly one.
#ifndef QVCTX_SIM_CORE_SIM_PLATFORM_H_
#define QVCTX_SIM_CORE_SIM_PLATFORM_H_

#include <cstdint>

namespace wfsim {

// Sets the calling thread's last-error code: SetLastError on Windows, errno
// elsewhere (holding the same Windows code).
void SetThreadLastError(std::uint32_t code);

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_SIM_PLATFORM_H_
