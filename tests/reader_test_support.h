// What the reader's tests share: a fixture that runs each case on a fresh
// simulator and a fresh log file and checks at the end that the close
// released every handle and buffer; callbacks that record what they receive;
// packages laid out as the client sends them; and the log file's messages.
#ifndef QVCTX_TESTS_READER_TEST_SUPPORT_H_
#define QVCTX_TESTS_READER_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/syscall.h>
#include <unistd.h>
#endif

#include "protocol/wire_format.h"
#include "qvctx/qvctx.h"
#include "qvctx/wfapi64_sim.h"
#include "support/session_fixture.h"
#include "support/test_support.h"

namespace reader_test {

using Clock = std::chrono::steady_clock;

using qvctx::kPackageHeadSize;
using qvctx_test::kWait;
using qvctx_test::kWaitMs;

// The calling thread's identifier as the library logs it.
inline std::uint32_t ThisThreadId() {
#if defined(_WIN32)
  return GetCurrentThreadId();
#else
  return static_cast<std::uint32_t>(syscall(SYS_gettid));
#endif
}

// The little-endian helpers of the client end's package format.
using qvctx::LoadLe32;
using qvctx::StoreLe16;
using qvctx::StoreLe32;

using Bytes = std::vector<std::uint8_t>;

// A package as the client lays it out: header with the magic, `datasize`
// (the whole length unless given), ulLength2, distinct time stamps, then a
// payload whose bytes depend on `message_id` and their position.
inline Bytes MakePackage(std::uint16_t fnc_typ, std::uint32_t message_id,
                         std::uint32_t payload_size,
                         std::uint16_t magic = qvctx::kPackageMagic) {
  Bytes payload(payload_size);
  for (std::uint32_t i = 0; i < payload_size; ++i) {
    payload[i] =
        static_cast<std::uint8_t>((message_id * 131u + i * 7u) & 0xFFu);
  }
  Bytes package = qvctx_test::BuildPackage(fnc_typ, message_id, payload,
                                           message_id * 4, 0x5A5A);
  StoreLe16(&package[qvctx::kMagicOffset], magic);
  return package;
}

inline void Append(Bytes& stream, const Bytes& more) {
  stream.insert(stream.end(), more.begin(), more.end());
}

inline void Send(const Bytes& bytes) {
  ASSERT_EQ(
      WfSimClientSend(bytes.data(), static_cast<std::uint32_t>(bytes.size())),
      0);
}

// One call of a recording callback.
struct Delivery {
  bool event = false;           // the event callback, else the result one
  Bytes bytes;                  // the package as the callback saw it
  std::uint32_t length = 0;     // the length passed
  std::uint64_t reads = 0;      // channel reads made before the call
  std::uint64_t pending = 0;    // bytes queued and not yet read at the call
  std::uint32_t thread_id = 0;  // the thread the callback ran on
  int tag = 1;                  // which recording callback: 1 or 2
};

// What the recording callbacks received, in order. A hook, when set, runs
// after the recording, on the reader thread.
class Recorder {
 public:
  using Hook = void (*)(const Delivery& delivery);

  static Recorder& Get() {
    static Recorder recorder;
    return recorder;
  }

  void Reset() {
    std::lock_guard<std::mutex> hold(mutex_);
    deliveries_.clear();
    hook_.store(nullptr);
  }
  void SetHook(Hook hook) { hook_.store(hook); }

  void Record(bool event, const std::uint8_t* package, std::uint32_t length,
              int tag = 1) {
    Delivery delivery;
    delivery.event = event;
    delivery.tag = tag;
    delivery.pending = WfSimPendingReadBytes();
    delivery.bytes.assign(package, package + length);
    delivery.length = length;
    delivery.reads = WfSimCallCount(WFSIM_READ);
    delivery.thread_id = ThisThreadId();
    {
      std::lock_guard<std::mutex> hold(mutex_);
      deliveries_.push_back(delivery);
    }
    changed_.notify_all();
    const Hook hook = hook_.load();
    if (hook != nullptr) hook(delivery);
  }

  // True once at least `count` calls have been recorded.
  bool WaitFor(std::size_t count) {
    std::unique_lock<std::mutex> hold(mutex_);
    return changed_.wait_for(hold, kWait,
                             [&] { return deliveries_.size() >= count; });
  }

  std::vector<Delivery> deliveries() {
    std::lock_guard<std::mutex> hold(mutex_);
    return deliveries_;
  }
  std::size_t count() {
    std::lock_guard<std::mutex> hold(mutex_);
    return deliveries_.size();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Delivery> deliveries_;
  std::atomic<Hook> hook_{nullptr};
};

inline void RecordEvent(const std::uint8_t* package, std::uint32_t length) {
  Recorder::Get().Record(true, package, length);
}
inline void RecordResult(const std::uint8_t* package, std::uint32_t length) {
  Recorder::Get().Record(false, package, length);
}
// A second event callback, told apart by its tag.
inline void RecordEventAsSecond(const std::uint8_t* package,
                                std::uint32_t length) {
  Recorder::Get().Record(true, package, length, 2);
}

inline std::uint32_t MessageIdOf(const Delivery& delivery) {
  return LoadLe32(&delivery.bytes[qvctx::kMessageIdOffset]);
}

// One line of the log file: "Info" or "ERROR", and the message behind the
// time stamp, trailing blanks kept (a Windows line's "\r" removed).
struct LogLine {
  std::string level;
  std::string message;
};

inline std::vector<LogLine> LogLines() {
  std::vector<LogLine> lines;
  for (std::string raw : qvctx_test::ReadLogLines()) {
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    const std::size_t tab = raw.find(" \t");
    LogLine line;
    if (tab != std::string::npos) {
      line.level = raw.substr(0, raw.find(' '));
      line.message = raw.substr(tab + 2);
    } else {
      line.message = raw;
    }
    lines.push_back(line);
  }
  return lines;
}

// The messages of the log file, in order.
inline std::vector<std::string> LogMessages() {
  std::vector<std::string> messages;
  for (const LogLine& line : LogLines()) messages.push_back(line.message);
  return messages;
}

// Index of the first message at or after `from` that equals `message`, or
// -1 (also when `from` is -1).
inline int IndexOf(const std::vector<std::string>& messages,
                   const std::string& message, int from = 0) {
  if (from < 0) return -1;  // an earlier message was missing
  for (int i = from; i < static_cast<int>(messages.size()); ++i) {
    if (messages[i] == message) return i;
  }
  return -1;
}

inline int CountOf(const std::vector<std::string>& messages,
                   const std::string& message) {
  int count = 0;
  for (const std::string& m : messages) count += m == message ? 1 : 0;
  return count;
}

// Waits until the log holds `message` at least `count` times.
inline bool WaitForLogMessage(const std::string& message, int count = 1) {
  const auto deadline = Clock::now() + kWait;
  while (CountOf(LogMessages(), message) < count) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// Waits until `done` holds.
template <typename Condition>
inline bool WaitForCondition(Condition done) {
  const auto deadline = Clock::now() + kWait;
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Waits until `flag` is set.
inline bool WaitForFlag(const std::atomic<bool>& flag) {
  return WaitForCondition([&flag] { return flag.load(); });
}

inline std::string ResponseLine(int fnc_typ, std::uint32_t message_id) {
  return "ServerDataProccesorThread:: response to FNCTyp=" +
         std::to_string(fnc_typ) +
         " - msgID=" + std::to_string(static_cast<std::int32_t>(message_id)) +
         " fncID=" + std::to_string(message_id & 0xFFu);
}

inline const char kTerminated[] =
    "ServerDataProccesorThread :: ****** Thread termnated! ******* ";
inline const char kWaiting[] =
    "CTcpClient::~CTcpClient:: waiting for thread to finish";
inline const char kNotSignaled[] =
    "CTcpClient::~CTcpClient:: the threadEvent handle is not signaled";
inline const char kReadyToClose[] =
    "CTcpClient::~CTcpClient:: ready to close the thread Handle.";
inline const char kStillBusy[] =
    "CTcpClient::~CTcpClient:: thread still busy after 2000 ms - waiting for "
    "it to end";
inline const char kEventDisabled[] =
    "ServerRegisterEventCallBackFunction :: Call Back is DisEnabled!";
inline const char kResultDisabled[] =
    "ServerRegisterResultCallBackFunction :: Call Back is DisEnabled!";
inline const char kDestroyed[] = "CPackageThread:: Thread is detroyed ";
inline const char kCloseLine[] =
    "ServerCloseSession:: Close all thread handles upon completion.! ";

// "ServerDataProccesorThread :: Thread <id> exiting" of the reader with this
// thread id (the message's own line feed makes an empty line after it).
inline std::string ExitingLine(std::uint32_t thread_id) {
  return "ServerDataProccesorThread :: Thread " +
         std::to_string(static_cast<std::int32_t>(thread_id)) + " exiting";
}

// Each case: the session fixture's fresh start, and no recorded deliveries.
class ReaderTest : public qvctx_test::SessionFixture {
 protected:
  void SetUp() override {
    SessionFixture::SetUp();
    Recorder::Get().Reset();
  }

  void TearDown() override {
    SessionFixture::TearDown();
    Recorder::Get().Reset();
  }

  // Registers both recording callbacks and starts the session.
  static void StartRecording() {
    ASSERT_EQ(ServerRegisterEventCallBackFunction(&RecordEvent), 0);
    ASSERT_EQ(ServerRegisterResultCallBackFunction(&RecordResult), 0);
    ASSERT_EQ(ServerStartSession(), 0);
  }
};

}  // namespace reader_test

#endif  // QVCTX_TESTS_READER_TEST_SUPPORT_H_
