/* The public header compiles as plain C, and a C host that loads the library
 * by name calls it through the header's PFN_ types alone: it links neither
 * qvctx nor the simulator, looks up all thirteen exports and completes a
 * session against the simulator's built-in client. */
#include <stdatomic.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "qvctx/qvctx.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
#define QVCTX_LIBRARY "qvctx.dll"
#define SIMULATOR_LIBRARY "wfapi64.dll"
#else
#include <dlfcn.h>
#include <time.h>
typedef void* Library;
/* The run-time name, as the header's version macros give it. */
#define QVCTX_TEXT(x) #x
#define QVCTX_STRINGIFY(x) QVCTX_TEXT(x)
#if QVCTX_VERSION_MAJOR == 0
#define QVCTX_LIBRARY                                                      \
  "libqvctx.so." QVCTX_STRINGIFY(QVCTX_VERSION_MAJOR) "." QVCTX_STRINGIFY( \
      QVCTX_VERSION_MINOR)
#else
#define QVCTX_LIBRARY "libqvctx.so." QVCTX_STRINGIFY(QVCTX_VERSION_MAJOR)
#endif
#define SIMULATOR_LIBRARY "libwfapi64.so"
#endif

typedef void (*AnyFunction)(void);

#define QVCTX_EXPORTS(X)                  \
  X(ServerStartSession)                   \
  X(ServerCloseSession)                   \
  X(ServerRegisterEventCallBackFunction)  \
  X(ServerRegisterResultCallBackFunction) \
  X(ServerRegisterFarFunction)            \
  X(ServerSendBulkData)                   \
  X(ServerSessionLog)                     \
  X(ServerSessionFreeLog)                 \
  X(ServerGetLastError)                   \
  X(ServerSessionInfo)                    \
  X(ServerQueryInformation)               \
  X(ServerSetInformation)                 \
  X(ServerSessionReset)

/* Each PFN_ type is the type of its declared function. */
#define QVCTX_TYPE_MATCHES(name)                               \
  _Static_assert(_Generic(&name, PFN_##name : 1, default : 0), \
                 "PFN_" #name " differs from the declaration");
QVCTX_EXPORTS(QVCTX_TYPE_MATCHES)

typedef struct Api {
#define QVCTX_FIELD(name) PFN_##name name;
  QVCTX_EXPORTS(QVCTX_FIELD)
} Api;

static Library OpenLibrary(const char* name) {
#if defined(_WIN32)
  return LoadLibraryA(name);
#else
  /* In the test's folder first: a sanitizer runtime's dlopen does not search
     the program's own run path. */
  const char* folder = getenv("QVCTX_TEST_BIN_DIR");
  if (folder != NULL) {
    char path[4096];
    if (snprintf(path, sizeof(path), "%s/%s", folder, name) <
        (int)sizeof(path)) {
      Library library = dlopen(path, RTLD_NOW);
      if (library != NULL) return library;
    }
  }
  return dlopen(name, RTLD_NOW);
#endif
}

static AnyFunction Symbol(Library library, const char* name) {
#if defined(_WIN32)
  return (AnyFunction)GetProcAddress(library, name);
#else
  void* address = dlsym(library, name);
  AnyFunction function = NULL;
  memcpy(&function, &address, sizeof(function));
  return function;
#endif
}

static void PauseOneMillisecond(void) {
#if defined(_WIN32)
  Sleep(1);
#else
  const struct timespec pause = {0, 1000000};
  nanosleep(&pause, NULL);
#endif
}

static int LoadApi(Library library, Api* api) {
#define QVCTX_LOAD(name)                                     \
  api->name = (PFN_##name)Symbol(library, #name);            \
  if (api->name == NULL) {                                   \
    fprintf(stderr, "c_header_test: no export " #name "\n"); \
    return 0;                                                \
  }
  QVCTX_EXPORTS(QVCTX_LOAD)
  return 1;
}

static const char kPayload[] = "by name from C";
static unsigned char g_answer[sizeof(PACKAGEHEAD) + sizeof(kPayload)];
static atomic_int g_answers;

static void on_package(const uint8_t* package, uint32_t length) {
  (void)package;
  (void)length;
}

static void on_result(const uint8_t* package, uint32_t length) {
  if (length == sizeof(g_answer) && atomic_load(&g_answers) == 0) {
    memcpy(g_answer, package, length);
  }
  atomic_fetch_add(&g_answers, 1);
}

int main(void) {
  Library qvctx = OpenLibrary(QVCTX_LIBRARY);
  Library simulator = OpenLibrary(SIMULATOR_LIBRARY);
  Api api;
  PACKAGEHEAD head;
  unsigned char call[sizeof(g_answer)];
  void (*set_built_in_client)(int32_t);
  uint32_t (*open_handle_count)(void);
  int waited = 0;
  if (qvctx == NULL || simulator == NULL) {
    fprintf(stderr, "c_header_test: cannot load " QVCTX_LIBRARY
                    " or " SIMULATOR_LIBRARY "\n");
    return 10;
  }
  if (!LoadApi(qvctx, &api)) return 11;
  set_built_in_client =
      (void (*)(int32_t))Symbol(simulator, "WfSimSetBuiltInClient");
  open_handle_count =
      (uint32_t(*)(void))Symbol(simulator, "WfSimOpenHandleCount");
  if (set_built_in_client == NULL || open_handle_count == NULL) return 12;

  if (sizeof(PACKAGEHEAD) != 34) return 1;
  if (api.ServerRegisterEventCallBackFunction(on_package) != 0) return 2;
  if (api.ServerRegisterEventCallBackFunction(NULL) != 0) return 3;
  if (api.ServerSessionInfo() != 0) return 4;
  if (strcmp(api.ServerSessionLog(), "No logs") != 0) return 5;
  api.ServerSessionFreeLog();

  /* One far-function call, answered by the built-in client. */
  set_built_in_client(1);
  if (api.ServerRegisterResultCallBackFunction(on_result) != 0) return 20;
  if (api.ServerStartSession() != 0) {
    fprintf(stderr, "c_header_test: start failed: %s\n",
            api.ServerSessionLog());
    return 21;
  }
  memset(&head, 0, sizeof(head));
  head.messageID = 0x4321u;
  memcpy(call, &head, sizeof(head));
  memcpy(call + sizeof(head), kPayload, sizeof(kPayload));
  if (api.ServerRegisterFarFunction(call, (int32_t)sizeof(call)) != 0)
    return 22;
  while (atomic_load(&g_answers) == 0 && waited++ < 60000)
    PauseOneMillisecond();
  if (api.ServerCloseSession() != 0) return 23;
  memcpy(&head, g_answer, sizeof(head));
  if (atomic_load(&g_answers) != 1 || head.FNCTyp != 2 ||
      head.messageID != 0x4321u ||
      memcmp(g_answer + sizeof(head), kPayload, sizeof(kPayload)) != 0) {
    fprintf(stderr, "c_header_test: %d answers, not the one expected\n",
            atomic_load(&g_answers));
    return 24;
  }
  if (open_handle_count() != 0) return 25;
  puts("c_header_test: ok, session by name through the PFN_ types");
  return 0;
}
