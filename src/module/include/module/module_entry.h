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
// Both run under the system's loader lock. Attach only marks the
// configuration unread: the first exported call reads it. Detach closes the
// log writer, if any, with its closing line, and frees the session-log lines
// nobody fetched; for that it calls the kernel (time of day, file write and
// close, its locks) and the C runtime (formatting, freeing), which is loaded
// before this library and unloaded after it, and no other library. Neither
// logs otherwise, loads a library, starts or stops a thread, waits for one to
// end, or opens or closes the channel; detach takes the log writer's locks,
// which other threads hold only while they write a line. With
// `process_ending` (DllMain's reserved argument not null: the process exits
// and the system has already ended its other threads, wherever they were)
// detach takes no lock that is held and waits for nothing: it writes the
// closing line only when the writer's locks are free at once, and frees
// nothing.
std::int32_t HandleModuleNotification(std::uint32_t reason,
                                      bool process_ending = false) noexcept;

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_MODULE_ENTRY_H_
