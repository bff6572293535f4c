/* minimal_host: the smallest complete host of qvctx, to copy from. It loads
 * the library by name and looks its functions up through the header's PFN_
 * types, registers both callbacks, starts a session, sends one far-function
 * call, waits at most five seconds for its answer, prints and frees the
 * session log, closes the session and unloads the library.
 *
 * Against the simulator of the platform's library (this project's wfapi64)
 * it asks the simulator's built-in client to answer; on a real server that
 * step finds nothing to ask, and the client on the user's machine answers.
 * Exit status: 0 when the answer came back with the payload sent. */
#include <stdatomic.h>
#include <stdio.h>
#include <string.h>

#include "qvctx/qvctx.h"

#if defined(_WIN32)
#include <windows.h>
typedef HMODULE Library;
#define QVCTX_FILE "qvctx.dll"
#define PLATFORM_FILE "wfapi64.dll"
#define LoadByName(name) LoadLibraryA(name)
#define Unload(library) FreeLibrary(library)
#define PauseTenMilliseconds() Sleep(10)
#else
#include <dlfcn.h>
#include <time.h>
typedef void* Library;
/* The development link; a deployed host names the run-time file (qvctx.h). */
#define QVCTX_FILE "libqvctx.so"
#define PLATFORM_FILE "libwfapi64.so"
#define LoadByName(name) dlopen(name, RTLD_NOW | RTLD_LOCAL)
#define Unload(library) dlclose(library)
static void PauseTenMilliseconds(void) {
  const struct timespec pause = {0, 10000000L};
  nanosleep(&pause, NULL);
}
#endif

typedef void (*AnyFunction)(void);

/* The exported function `name`, to be cast to its PFN_ type; NULL if none. */
static AnyFunction Find(Library library, const char* name) {
#if defined(_WIN32)
  return (AnyFunction)GetProcAddress(library, name);
#else
  void* address = dlsym(library, name);
  AnyFunction function = NULL;
  memcpy(&function, &address, sizeof(function)); /* POSIX allows it */
  return function;
#endif
}

enum { kMessageId = 0x0101, kWaitSteps = 500 }; /* 500 x 10 ms */
static const char kPayload[] = "hello from a minimal host";

/* Written by the result callback on the library's reader thread. */
static char g_answer[sizeof(kPayload)];
static atomic_int g_answered;

static void OnResult(const uint8_t* package, uint32_t length) {
  PACKAGEHEAD head;
  memcpy(&head, package, sizeof(head)); /* the header is not aligned */
  if (head.messageID == kMessageId &&
      length == sizeof(head) + sizeof(kPayload)) {
    memcpy(g_answer, package + sizeof(head), sizeof(kPayload));
    atomic_store(&g_answered, 1);
  }
}

static void OnEvent(const uint8_t* package, uint32_t length) {
  (void)package;
  printf("event of %u bytes\n", (unsigned)length);
}

/* Only the simulator has a built-in client; the platform's library lacks
 * this function, and nothing happens. */
static void AskSimulatedClientToAnswer(void) {
  typedef void (*SetBuiltInClient)(int32_t on);
#if defined(_WIN32)
  Library platform = GetModuleHandleA(PLATFORM_FILE); /* takes no reference */
#else
  Library platform = dlopen(PLATFORM_FILE, RTLD_NOW | RTLD_NOLOAD);
#endif
  SetBuiltInClient set_built_in_client =
      platform ? (SetBuiltInClient)Find(platform, "WfSimSetBuiltInClient")
               : NULL;
  if (set_built_in_client != NULL) set_built_in_client(1);
#if !defined(_WIN32)
  if (platform != NULL) dlclose(platform);
#endif
}

int main(void) {
  unsigned char call[sizeof(PACKAGEHEAD) + sizeof(kPayload)];
  PACKAGEHEAD head;
  int steps = 0;
  int answered = 0;
  Library qvctx = LoadByName(QVCTX_FILE);
  if (qvctx == NULL) {
    fprintf(stderr, "minimal_host: cannot load " QVCTX_FILE "\n");
    return 2;
  }
  PFN_ServerRegisterEventCallBackFunction register_event =
      (PFN_ServerRegisterEventCallBackFunction)Find(
          qvctx, "ServerRegisterEventCallBackFunction");
  PFN_ServerRegisterResultCallBackFunction register_result =
      (PFN_ServerRegisterResultCallBackFunction)Find(
          qvctx, "ServerRegisterResultCallBackFunction");
  PFN_ServerStartSession start =
      (PFN_ServerStartSession)Find(qvctx, "ServerStartSession");
  PFN_ServerRegisterFarFunction send_call =
      (PFN_ServerRegisterFarFunction)Find(qvctx, "ServerRegisterFarFunction");
  PFN_ServerSessionLog session_log =
      (PFN_ServerSessionLog)Find(qvctx, "ServerSessionLog");
  PFN_ServerSessionFreeLog free_log =
      (PFN_ServerSessionFreeLog)Find(qvctx, "ServerSessionFreeLog");
  PFN_ServerCloseSession close_session =
      (PFN_ServerCloseSession)Find(qvctx, "ServerCloseSession");
  if (!register_event || !register_result || !start || !send_call ||
      !session_log || !free_log || !close_session) {
    fprintf(stderr, "minimal_host: " QVCTX_FILE " lacks an export\n");
    Unload(qvctx);
    return 2;
  }

  register_event(OnEvent);
  register_result(OnResult);
  if (start() == 0) {
    AskSimulatedClientToAnswer();
    /* The library stamps FNCTyp, the magic and both lengths itself. */
    memset(&head, 0, sizeof(head));
    head.messageID = kMessageId;
    memcpy(call, &head, sizeof(head));
    memcpy(call + sizeof(head), kPayload, sizeof(kPayload));
    if (send_call(call, (int32_t)sizeof(call)) == 0) {
      while (!atomic_load(&g_answered) && steps++ < kWaitSteps) {
        PauseTenMilliseconds();
      }
      answered = atomic_load(&g_answered) &&
                 memcmp(g_answer, kPayload, sizeof(kPayload)) == 0;
    }
  }
  printf("answer: %s\n", answered ? g_answer : "none within 5 s");
  printf("session log: %s\n", session_log());
  free_log();
  close_session(); /* also empties both callback slots */
  Unload(qvctx);   /* only after the close */
  return answered ? 0 : 1;
}
