#include "transport/package_thread.h"

#include "module/module_data.h"

namespace qvctx {

// Not built yet: the slots are stored, nothing reads them.
std::int32_t RegisterEventCallBack(PackageCallBack callback) {
  myModuleData.EventCallBack = callback;
  return 0;
}

std::int32_t RegisterResultCallBack(PackageCallBack callback) {
  myModuleData.ResultCallBack = callback;
  return 0;
}

}  // namespace qvctx
