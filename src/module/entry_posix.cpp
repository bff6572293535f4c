// The shared object's load and unload hooks: they run the same handler as
// DllMain with the reasons process attach and process detach.
#include "module/module_entry.h"

namespace {

__attribute__((constructor)) void OnLoad() {
  qvctx::HandleModuleNotification(qvctx::kProcessAttach);
}

__attribute__((destructor)) void OnUnload() {
  qvctx::HandleModuleNotification(qvctx::kProcessDetach);
}

}  // namespace
