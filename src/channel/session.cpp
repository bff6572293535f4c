#include "channel/session.h"

#include "diagnostics/log_file.h"
#include "module/module_data.h"

namespace qvctx {

// Not built yet: a start always fails.
std::int32_t StartSession() {
  GetLogFile()->LogError("ServerStartSession:: not available in this build");
  return 1;
}

std::int32_t CloseSession() {
  DestroyLogFile();
  return myModuleData.exitcode.load();
}

}  // namespace qvctx
