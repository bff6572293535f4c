// consumer: the smallest host of the installed library. It turns on the
// simulator's built-in client, sends one far-function call and waits for the
// answer: a result package with the same messageID and payload.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"

namespace {

constexpr std::uint32_t kHeaderSize = sizeof(PACKAGEHEAD);
constexpr std::uint32_t kMessageId = 0x00C0FF01u;
constexpr char kPayload[] = "one call from the consumer";

// The first result package, handed from the reader thread to main.
struct Answer {
  std::mutex mutex;
  std::condition_variable arrived;
  bool received = false;
  std::vector<std::uint8_t> bytes;
};
Answer g_answer;

void OnResult(const std::uint8_t* package, std::uint32_t length) {
  std::lock_guard<std::mutex> hold(g_answer.mutex);
  if (g_answer.received) return;
  g_answer.bytes.assign(package, package + length);
  g_answer.received = true;
  g_answer.arrived.notify_all();
}

int Fail(const char* what) {
  std::fprintf(stderr, "consumer: %s\n", what);
  std::fprintf(stderr, "consumer: session log: %s\n", ServerSessionLog());
  ServerSessionFreeLog();
  ServerCloseSession();
  return 1;
}

// True when `bytes` is the result for our call: FNCTyp 2, our messageID, a
// datasize of the whole package and our payload unchanged.
bool IsOurAnswer(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != kHeaderSize + sizeof(kPayload)) return false;
  PACKAGEHEAD head;
  std::memcpy(&head, bytes.data(), kHeaderSize);
  return head.FNCTyp == 2 && head.usMagic == 10001 &&
         head.messageID == kMessageId && head.datasize == bytes.size() &&
         std::memcmp(bytes.data() + kHeaderSize, kPayload, sizeof(kPayload)) ==
             0;
}

}  // namespace

int main() {
  WfSimSetBuiltInClient(1);
  ServerRegisterResultCallBackFunction(OnResult);
  if (ServerStartSession() != 0) return Fail("ServerStartSession failed");

  PACKAGEHEAD head;
  std::memset(&head, 0, sizeof(head));
  head.messageID = kMessageId;
  std::vector<std::uint8_t> call(kHeaderSize + sizeof(kPayload));
  std::memcpy(call.data(), &head, kHeaderSize);
  std::memcpy(call.data() + kHeaderSize, kPayload, sizeof(kPayload));
  if (ServerRegisterFarFunction(call.data(),
                                static_cast<std::int32_t>(call.size())) != 0) {
    return Fail("ServerRegisterFarFunction failed");
  }

  std::vector<std::uint8_t> answer;
  {
    std::unique_lock<std::mutex> hold(g_answer.mutex);
    if (!g_answer.arrived.wait_for(hold, std::chrono::seconds(60),
                                   [] { return g_answer.received; })) {
      hold.unlock();
      return Fail("no answer within 60 s");
    }
    answer = g_answer.bytes;
  }
  if (!IsOurAnswer(answer)) return Fail("the answer differs from the call");
  if (ServerCloseSession() != 0) {
    std::fprintf(stderr, "consumer: ServerCloseSession failed\n");
    return 1;
  }
  std::printf("consumer: answer intact\n");
  return 0;
}
