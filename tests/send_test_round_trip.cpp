// Round trips with the simulator's built-in client: every package the host
// sends, from several threads at once and from inside a callback, comes back
// as a result package with the same message id and payload. A package cut
// into by another thread's chunks would come back garbled or not at all.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "qvctx/qvctx.h"
#include "send_test_support.h"

namespace {

using qvctx::LoadLe32;
using send_test::HostPackage;
using send_test::Stamped;

// Message ids of the chain that the result callback keeps going.
constexpr std::uint32_t kChainBase = 0xC0000000u;
constexpr std::uint32_t kChainLength = 40;
constexpr std::size_t kChainPackageSize = 2500;  // through the bulk path

// What the result callback has received, by message id.
struct Answers {
  std::mutex mutex;
  std::condition_variable arrived;
  std::map<std::uint32_t, std::vector<std::uint8_t>> by_id;
  std::size_t repeated = 0;     // an id answered twice
  std::size_t bad_lengths = 0;  // length passed differs from datasize
};

Answers& TheAnswers() {
  static Answers answers;
  return answers;
}

std::atomic<int> g_chain_send_failures{0};

void SendChainLink(std::uint32_t index) {
  const std::vector<std::uint8_t> package =
      HostPackage(kChainBase + index, kChainPackageSize, index);
  if (ServerRegisterFarFunction(
          package.data(), static_cast<std::int32_t>(package.size())) != 0) {
    ++g_chain_send_failures;
  }
}

// Runs on the library's reader thread.
void OnResult(const std::uint8_t* package, std::uint32_t length) {
  const std::uint32_t message_id = LoadLe32(package + 4);
  {
    Answers& answers = TheAnswers();
    std::lock_guard<std::mutex> hold(answers.mutex);
    if (LoadLe32(package + 8) != length) ++answers.bad_lengths;
    if (!answers.by_id
             .emplace(message_id,
                      std::vector<std::uint8_t>(package, package + length))
             .second) {
      ++answers.repeated;
    }
    answers.arrived.notify_all();
  }
  // A callback may send: the next link of the chain goes out from here.
  if (message_id >= kChainBase && message_id + 1 < kChainBase + kChainLength) {
    SendChainLink(message_id + 1 - kChainBase);
  }
}

// The answer the built-in client gives to `sent`: FNCTyp 2, everything else
// as sent (usReserved left out, the client does not promise it).
void ExpectAnswerTo(const std::vector<std::uint8_t>& sent,
                    const std::vector<std::uint8_t>& answer) {
  ASSERT_EQ(answer.size(), sent.size());
  EXPECT_EQ(answer[0], 2);
  EXPECT_EQ(answer[1], 0);
  EXPECT_TRUE(
      std::equal(sent.begin() + 2, sent.begin() + 16, answer.begin() + 2))
      << "header of message " << LoadLe32(&sent[4]);
  EXPECT_TRUE(std::equal(sent.begin() + 18, sent.end(), answer.begin() + 18))
      << "time stamps or payload of message " << LoadLe32(&sent[4]);
}

class SendRoundTripTest : public send_test::SessionTest {
 protected:
  void SetUp() override {
    {
      Answers& answers = TheAnswers();
      std::lock_guard<std::mutex> hold(answers.mutex);
      answers.by_id.clear();
      answers.repeated = 0;
      answers.bad_lengths = 0;
    }
    g_chain_send_failures = 0;
    SessionTest::SetUp();
    WfSimSetBuiltInClient(1);
    ServerRegisterResultCallBackFunction(&OnResult);
  }

  // Waits, bounded, until `count` answers are in; true when they are.
  static bool WaitForAnswers(std::size_t count) {
    Answers& answers = TheAnswers();
    std::unique_lock<std::mutex> hold(answers.mutex);
    return answers.arrived.wait_for(
        hold, std::chrono::milliseconds(send_test::kWaitMs),
        [&] { return answers.by_id.size() >= count; });
  }

  static std::vector<std::uint8_t> AnswerTo(std::uint32_t message_id) {
    Answers& answers = TheAnswers();
    std::lock_guard<std::mutex> hold(answers.mutex);
    const auto found = answers.by_id.find(message_id);
    return found == answers.by_id.end() ? std::vector<std::uint8_t>{}
                                        : found->second;
  }

  static void ExpectNoStrayAnswers() {
    Answers& answers = TheAnswers();
    std::lock_guard<std::mutex> hold(answers.mutex);
    EXPECT_EQ(answers.repeated, 0u);
    EXPECT_EQ(answers.bad_lengths, 0u);
  }
};

// One host thread's share of a mixed run: far-function calls and whole
// packages laid out by the host and sent as bulk data, in turn.
struct HostThreadRun {
  std::vector<std::vector<std::uint8_t>> sent;  // as the client receives them
  std::vector<std::int32_t> results;
};

// Holds the host threads back until all exist, so their sends overlap.
class StartGate {
 public:
  void Wait() {
    std::unique_lock<std::mutex> hold(mutex_);
    opened_.wait(hold, [this] { return open_; });
  }
  void Open() {
    std::lock_guard<std::mutex> hold(mutex_);
    open_ = true;
    opened_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable opened_;
  bool open_ = false;
};

void SendMixedRun(std::uint32_t thread_index,
                  const std::vector<std::size_t>& sizes, StartGate* gate,
                  HostThreadRun* run) {
  gate->Wait();
  for (std::size_t i = 0; i < sizes.size(); ++i) {
    const std::uint32_t message_id =
        ((thread_index + 1) << 16) | static_cast<std::uint32_t>(i + 1);
    const std::vector<std::uint8_t> host =
        HostPackage(message_id, sizes[i], message_id * 16);
    const std::vector<std::uint8_t> stamped = Stamped(host);
    if (i % 2 == 0) {
      run->results.push_back(ServerRegisterFarFunction(
          host.data(), static_cast<std::int32_t>(host.size())));
    } else {
      run->results.push_back(ServerSendBulkData(
          stamped.data(), static_cast<std::uint32_t>(stamped.size())));
    }
    run->sent.push_back(stamped);
  }
}

TEST_F(SendRoundTripTest, EveryPackageOfSeveralThreadsIsAnswered) {
  const std::vector<std::size_t> common = {34,   35,   100,  2009,  2010,
                                           2011, 4020, 4021, 65536, 300001};
  constexpr std::uint32_t kThreads = 4;
  std::vector<std::vector<std::size_t>> sizes(kThreads, common);
  sizes[0].push_back(5u << 20);  // 5 MiB, a far-function call
  sizes[1].push_back(34);
  sizes[1].push_back(1u << 20);  // 1 MiB, bulk data
  std::vector<HostThreadRun> runs(kThreads);
  StartGate gate;
  std::vector<std::thread> threads;
  for (std::uint32_t t = 0; t < kThreads; ++t) {
    threads.emplace_back(SendMixedRun, t, sizes[t], &gate, &runs[t]);
  }
  gate.Open();
  for (std::thread& thread : threads) thread.join();

  std::size_t total = 0;
  for (const HostThreadRun& run : runs) {
    total += run.sent.size();
    for (const std::int32_t result : run.results) EXPECT_EQ(result, 0);
  }
  ASSERT_TRUE(WaitForAnswers(total)) << WfSimAnsweredCount() << " of " << total;
  for (const HostThreadRun& run : runs) {
    for (const std::vector<std::uint8_t>& sent : run.sent) {
      ExpectAnswerTo(sent, AnswerTo(LoadLe32(&sent[4])));
    }
  }
  ExpectNoStrayAnswers();
  EXPECT_EQ(WfSimAnsweredCount(), total);
  EXPECT_EQ(WfSimUnframedBytes(), 0u);
}

TEST_F(SendRoundTripTest, CallbackSendsWhileHostThreadsSend) {
  // The chain goes on from the reader thread, under its dispatch lock, while
  // two host threads hold the send lock in turn.
  std::vector<HostThreadRun> runs(2);
  const std::vector<std::size_t> sizes(20, 5000);
  StartGate gate;
  std::thread first(SendMixedRun, 0, sizes, &gate, &runs[0]);
  std::thread second(SendMixedRun, 1, sizes, &gate, &runs[1]);
  SendChainLink(0);
  gate.Open();
  first.join();
  second.join();

  const std::size_t total = kChainLength + 2 * sizes.size();
  ASSERT_TRUE(WaitForAnswers(total)) << WfSimAnsweredCount() << " of " << total;
  EXPECT_EQ(g_chain_send_failures.load(), 0);
  for (std::uint32_t i = 0; i < kChainLength; ++i) {
    ExpectAnswerTo(Stamped(HostPackage(kChainBase + i, kChainPackageSize, i)),
                   AnswerTo(kChainBase + i));
  }
  for (const HostThreadRun& run : runs) {
    for (const std::int32_t result : run.results) EXPECT_EQ(result, 0);
    for (const std::vector<std::uint8_t>& sent : run.sent) {
      ExpectAnswerTo(sent, AnswerTo(LoadLe32(&sent[4])));
    }
  }
  ExpectNoStrayAnswers();
  EXPECT_EQ(WfSimUnframedBytes(), 0u);
}

}  // namespace
