// The DLL's entry point: hands every notification to the module's handler.
#include <windows.h>

#include "module/module_entry.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason,
                               LPVOID /*reserved*/) {
  return qvctx::HandleModuleNotification(reason) != 0 ? TRUE : FALSE;
}
