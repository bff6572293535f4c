#include <windows.h>

#include "sim_platform.h"

namespace wfsim {

void SetThreadLastError(std::uint32_t code) { SetLastError(code); }

}  // namespace wfsim
