// The load and unload handling, shared by DllMain and the POSIX load hooks.
#ifndef QVCTX_SRC_MODULE_MODULE_ENTRY_H_
#define QVCTX_SRC_MODULE_MODULE_ENTRY_H_

#include <cstdint>

namespace qvctx {

// The reasons of DllMain.
inline constexpr std::uint32_t kProcessDetach = 0;
inline constexpr std::uint32_t kProcessAttach = 1;
inline constexpr std::uint32_t kThreadAttach = 2;
inline constexpr std::uint32_t kThreadDetach = 3;

// Handles one load or unload notification; returns 1 (TRUE) for every reason.
// Attach reads the configuration; detach closes the log writer. Neither logs,
// starts or stops a thread, opens or closes the channel, or blocks.
std::int32_t HandleModuleNotification(std::uint32_t reason) noexcept;

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_MODULE_ENTRY_H_
