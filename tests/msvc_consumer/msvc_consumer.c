/* msvc_consumer: a C host of qvctx.dll for the MSVC ABI, linked against
 * qvctx.lib. It uses only qvctx/qvctx.h and the few Win32 functions it
 * declares below, so it builds without Visual Studio's headers, libraries or
 * C runtime. It turns on the simulator's built-in client, sends one
 * far-function call and checks the answer: FNCTyp 2, the same messageID and
 * payload. */
#include "qvctx/qvctx.h"

typedef void* Handle;
typedef void (*AnyFunction)(void);
__declspec(dllimport) Handle __stdcall GetStdHandle(unsigned long which);
__declspec(dllimport) int __stdcall WriteFile(Handle file, const void* data,
                                              unsigned long size,
                                              unsigned long* written,
                                              void* overlapped);
__declspec(dllimport) void __stdcall ExitProcess(unsigned int code);
__declspec(dllimport) void __stdcall Sleep(unsigned long milliseconds);
__declspec(dllimport) Handle __stdcall LoadLibraryA(const char* name);
__declspec(dllimport) AnyFunction
    __stdcall GetProcAddress(Handle module, const char* name);

#define STD_OUTPUT_HANDLE ((unsigned long)-11)
#define MESSAGE_ID 0x00C1u
#define PAYLOAD "one call from an MSVC-ABI host"
#define PACKAGE_SIZE (sizeof(PACKAGEHEAD) + sizeof(PAYLOAD))

static unsigned char g_call[PACKAGE_SIZE];
static unsigned char g_answer[PACKAGE_SIZE];
static volatile long g_answers;

static void Print(const char* text) {
  unsigned long length = 0;
  unsigned long written = 0;
  while (text[length] != '\0') ++length;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text, length, &written, 0);
}

static void Fail(const char* what) {
  Print("msvc_consumer: ");
  Print(what);
  Print("\n");
  ServerCloseSession();
  ExitProcess(1);
}

static void OnResult(const uint8_t* package, uint32_t length) {
  uint32_t i;
  if (g_answers == 0 && length == PACKAGE_SIZE) {
    for (i = 0; i < length; ++i) g_answer[i] = package[i];
  }
  ++g_answers;
}

static int IsOurAnswer(void) {
  const PACKAGEHEAD* head = (const PACKAGEHEAD*)g_answer;
  const char* payload = PAYLOAD;
  unsigned int i;
  if (head->FNCTyp != 2 || head->messageID != MESSAGE_ID ||
      head->datasize != PACKAGE_SIZE) {
    return 0;
  }
  for (i = 0; i < sizeof(PAYLOAD); ++i) {
    if (g_answer[sizeof(PACKAGEHEAD) + i] != (unsigned char)payload[i])
      return 0;
  }
  return 1;
}

void __cdecl ConsumerMain(void); /* the entry point (/ENTRY) */
void __cdecl ConsumerMain(void) {
  PACKAGEHEAD* head = (PACKAGEHEAD*)g_call;
  const char* payload = PAYLOAD;
  void (*set_built_in_client)(int32_t) = 0;
  unsigned int i;
  int waited = 0;

  set_built_in_client = (void (*)(int32_t))GetProcAddress(
      LoadLibraryA("wfapi64.dll"), "WfSimSetBuiltInClient");
  if (set_built_in_client == 0) Fail("the simulator is not beside the program");
  set_built_in_client(1);

  ServerRegisterResultCallBackFunction(OnResult);
  if (ServerStartSession() != 0) Fail("ServerStartSession failed");
  head->messageID = MESSAGE_ID;
  for (i = 0; i < sizeof(PAYLOAD); ++i) {
    g_call[sizeof(PACKAGEHEAD) + i] = (unsigned char)payload[i];
  }
  if (ServerRegisterFarFunction(g_call, (int32_t)PACKAGE_SIZE) != 0) {
    Fail("ServerRegisterFarFunction failed");
  }
  while (g_answers == 0 && waited++ < 60000) Sleep(1);
  if (g_answers != 1 || !IsOurAnswer()) Fail("no intact answer");
  if (ServerCloseSession() != 0) Fail("ServerCloseSession failed");
  Print("msvc_consumer: answer intact\n");
  ExitProcess(0);
}
