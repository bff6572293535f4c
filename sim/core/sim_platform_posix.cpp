#include <cerrno>

#include "sim_platform.h"

namespace wfsim {

void SetThreadLastError(std::uint32_t code) { errno = static_cast<int>(code); }

}  // namespace wfsim
