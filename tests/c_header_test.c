/* The public header compiles as plain C, and a C host can call the library. */
#include <stdio.h>
#include <string.h>

#include "qvctx/qvctx.h"

static void on_package(const uint8_t* package, uint32_t length) {
  (void)package;
  (void)length;
}

int main(void) {
  PackageCallBack callback = on_package;
  if (sizeof(PACKAGEHEAD) != 34) return 1;
  if (ServerRegisterEventCallBackFunction(callback) != 0) return 2;
  if (ServerRegisterEventCallBackFunction(NULL) != 0) return 3;
  if (ServerSessionInfo() != 0) return 4;
  if (strcmp(ServerSessionLog(), "No logs") != 0) return 5;
  ServerSessionFreeLog();
  (void)ServerCloseSession();
  puts("c_header_test: ok");
  return 0;
}
