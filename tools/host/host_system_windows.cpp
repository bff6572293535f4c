#include <io.h>

#include <cstdio>

#include "host_system.h"

namespace qvctx_host {

bool StderrIsTerminal() { return _isatty(_fileno(stderr)) != 0; }

}  // namespace qvctx_host
