#include <unistd.h>

#include "host_system.h"

namespace qvctx_host {

bool StderrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace qvctx_host
