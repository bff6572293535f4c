// The Windows error codes that every binding of ours reports, on every
// system, when a library or one of its names cannot be had, as the Windows
// loader does: the library's own binding of the platform's library, its
// POSIX stand-ins of the loader, and the tap.
#ifndef QVCTX_SRC_BASE_SYSTEM_CODES_H_
#define QVCTX_SRC_BASE_SYSTEM_CODES_H_

#include <cstdint>

namespace qvctx {

inline constexpr std::uint32_t kErrorModuleNotFound = 126;  // the library
inline constexpr std::uint32_t kErrorProcNotFound = 127;    // a name in it

}  // namespace qvctx

#endif  // QVCTX_SRC_BASE_SYSTEM_CODES_H_
