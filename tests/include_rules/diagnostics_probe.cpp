// The log writer's layer may not include the reader's: this does not compile.
#include "diagnostics/log_file.h"
#include "transport/package_thread.h"
