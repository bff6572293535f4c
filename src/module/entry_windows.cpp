// The DLL's entry point: hands every notification to the module's handler.
#include <windows.h>

#include "module/module_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason,
                               LPVOID reserved) {
  // A detach with `reserved` set comes at the process's end.
  return qvctx::HandleModuleNotification(reason, reserved != nullptr) != 0
             ? TRUE
             : FALSE;
}
