#include "transport/package_thread.h"

#include <chrono>
#include <exception>
#include <utility>

#include "base/step_failures.h"
#include "channel/wfapi.h"
#include "diagnostics/log_file.h"
#include "protocol/wire_format.h"
#include "transport/messages.h"
#include "transport/package_receiver.h"
#include "transport/package_thread_test_helper.h"

namespace qvctx {

namespace {

// The stop wait: this many polls of 1 ms before the teardown says so.
constexpr int kStopWaitPolls = 2000;
// At the process's exit, polls of 1 ms beyond the read's own wait.
constexpr std::uint32_t kExitStopPolls = 500;
constexpr std::uint32_t kIdleSleepMs = 1;

// True when a read that waited up to `wait_ms` came back empty in less than
// half of it: the platform did not wait, so the reader must pause itself or
// it would spin.
bool ReturnedEarly(std::chrono::steady_clock::time_point began,
                   std::uint32_t wait_ms) {
  const auto waited = std::chrono::steady_clock::now() - began;
  return waited < std::chrono::microseconds(std::uint64_t{wait_ms} * 500);
}

// Set on the reader thread for its whole life.
thread_local bool t_on_reader = false;

// The tests' hook at the points where the reader and a stop request meet.
std::atomic<void (*)(std::uint32_t)> g_stop_hook{nullptr};

void StopHook(std::uint32_t point) {
  if (auto* hook = g_stop_hook.load(std::memory_order_acquire)) hook(point);
}

void LogInfoStep(StepFailures& failures, Logger& log, const char* line) {
  failures.Run([&log, line] { log.LogInfo("%s", line); });
}

}  // namespace

bool OnReaderThread() { return t_on_reader; }

void SetStopHookForTesting(void (*hook)(std::uint32_t point)) {
  g_stop_hook.store(hook, std::memory_order_release);
}

std::int32_t CPackageThread::SetEventCallBack(PackageCallBack callback) {
  return StoreCallBack(&EventCallBack, callback, kEventCallBackEnabled,
                       kEventCallBackDisabled);
}

std::int32_t CPackageThread::SetResultCallBack(PackageCallBack callback) {
  return StoreCallBack(&ResultCallBack, callback, kResultCallBackEnabled,
                       kResultCallBackDisabled);
}

std::int32_t CPackageThread::StoreCallBack(PackageCallBack* slot,
                                           PackageCallBack callback,
                                           const char* enabled_line,
                                           const char* disabled_line) {
  {
    port::LockGuard guard(lock);
    *slot = callback;
  }
  host_log_.LogInfo("%s", callback != nullptr ? enabled_line : disabled_line);
  return 0;
}

std::int32_t CPackageThread::StartThread(const ReaderInputs& inputs) {
  host_log_.LogInfo("%s", kReaderInit);
  if (hThread != nullptr) {
    host_log_.LogError("%s", kReaderAlreadyCreated);
    // The failed start is this reader's stop signal: it ends on its next
    // pass, saying so, unless it has already stopped.
    std::uint8_t running = kRunning;
    state.compare_exchange_strong(running, kStopForced);
    return 1;
  }
  state.store(kStopped);
  // Before the thread exists, so the reader finds them without a lock.
  inputs_ = inputs;
  reader_keeps_alive_ = shared_from_this();
  // The thread keeps the library mapped until its very end (see
  // CreateSuspendedThread): a host that unloads it without a close does not
  // pull the code from under the running reader.
  hThread = port::CreateSuspendedThread(&ServerDataProccesorThread, this);
  if (hThread == nullptr) {
    reader_keeps_alive_.reset();
    host_log_.LogError("%s", kReaderCreateFailed);
    return 1;
  }
  host_log_.LogInfo("%s", kReaderCreated);
  port::SetNormalPriority(hThread);
  // Running before the thread runs, so its first test always finds 1.
  state.store(kRunning);
  thread_resumed_ = true;
  port::ResumeThread(hThread);
  host_log_.LogInfo("%s", kReaderStarted);
  return 0;
}

void CPackageThread::StopReader(StepFailures& failures) {
  // Nothing is marked before a step that can fail: a log line that cannot be
  // made must not leave a reader running under a later release.
  LogInfoStep(failures, host_log_, kTeardownWaiting);
  // A callback that closes the session runs on the reader itself, which
  // cannot wait for its own end: it leaves its loop once the callback
  // returns, and the instance goes with its last reference.
  const bool on_reader = hThread != nullptr && port::IsCurrentThread(hThread);
  if (hThread != nullptr && RequestStop()) {
    if (!on_reader) WaitForReaderEnd(failures);
    LogInfoStep(failures, host_log_, kTeardownNotSignaled);
    LogInfoStep(failures, host_log_, kTeardownReadyToClose);
  }
  if (on_reader) {
    // The reader lets itself go: no host call ever waits for a reader whose
    // session its own callback closed, which may still be in that callback
    // waiting for the host. It ends on its own once the callback returns, and
    // gives back its reference on the library as its last act, which unloads
    // the library when the host has already let go.
    port::CloseThreadHandle(hThread);
  } else {
    // After its last act on the instance the reader only returns; waiting for
    // its end too (at once when it ended long ago) means no code of the
    // library runs on it once the close is done.
    if (hThread != nullptr && thread_resumed_) port::WaitForThreadEnd(hThread);
    port::CloseThreadHandle(hThread);
  }
  hThread = nullptr;
  // A thread that was created but never resumed never took this reference.
  reader_keeps_alive_.reset();
}

void CPackageThread::ClearCallBacks(StepFailures& failures) {
  failures.Run([this] { SetEventCallBack(nullptr); });
  failures.Run([this] { SetResultCallBack(nullptr); });
  LogInfoStep(failures, host_log_, kReaderDestroyed);
}

void CPackageThread::WaitForReaderEnd(StepFailures& failures) {
  for (int poll = 0; poll < kStopWaitPolls; ++poll) {
    port::SleepMilliseconds(kIdleSleepMs);
    if (state.load() == kStopped) return;
  }
  // A callback still runs: releasing the channel or the read buffer now
  // would pull them from under it, so wait for the reader's own end.
  failures.Run(
      [this] { host_log_.LogInfo(kTeardownStillBusyFormat, kStopWaitPolls); });
  port::WaitForThreadEnd(hThread);
}

void CPackageThread::StopAtProcessExit() {
  if (t_on_reader || !RequestStop()) return;
  const std::uint32_t polls = inputs_.read_wait_ms + kExitStopPolls;
  for (std::uint32_t poll = 0; poll < polls; ++poll) {
    if (state.load() == kStopped) return;
    port::SleepMilliseconds(kIdleSleepMs);
  }
}

std::uint32_t CPackageThread::ServerDataProccesorThread(void* parameter) {
  CPackageThread* self = static_cast<CPackageThread*>(parameter);
  t_on_reader = true;
  const std::shared_ptr<CPackageThread> keep_alive =
      std::move(self->reader_keeps_alive_);
  self->RunReader();
  return 0;
}

void CPackageThread::RunReader() {
  CLogFile& log = *inputs_.log;
  try {
    log.LogInfo("%s", kReaderBeforeBuffer);
    std::unique_ptr<CPackageReceiver> receiver;
    try {
      receiver = std::make_unique<CPackageReceiver>(log);
    } catch (const std::exception& error) {
      log.LogError("%s", error.what());
    }
    if (receiver) {
      log.LogInfo("%s", kReaderAboutToStart);
      log.LogInfo("%s", kReaderBeforeLoop);
      ReadPackages(*receiver, log);
    }
    log.LogInfo("%s", kReaderTerminated);
    log.LogInfo(kReaderExitingFormat,
                static_cast<int>(port::CurrentThreadId()));
  } catch (...) {
    // Only the log writer can fail here (no memory for it); the reader
    // still ends in order.
  }
  StopHook(kReaderAboutToMarkStopped);
  state.store(kStopped);
  StopHook(kReaderMarkedStopped);
}

bool CPackageThread::RequestStop() {
  // A reader that stops on its own meanwhile stays stopped: overwriting its
  // last act would leave a stop that nothing ends.
  std::uint8_t seen = state.load();
  StopHook(kStopRequestSawState);
  while (seen != kStopped &&
         !state.compare_exchange_weak(seen, kStopRequested)) {
  }
  return seen != kStopped;
}

void CPackageThread::ReadPackages(CPackageReceiver& receiver, CLogFile& log) {
  const WfHandle channel = inputs_.channel;
  char* const read_buffer = inputs_.read_buffer;
  const std::uint32_t read_wait_ms = inputs_.read_wait_ms;
  if (read_wait_ms != 0) {
    log.LogInfo(kReaderReadWaitFormat, read_wait_ms);
  }
  for (;;) {
    const std::uint8_t now = state.load();
    if (now == kStopForced) {
      log.LogError("%s", kReaderExitCodeStop);
      return;
    }
    if (now != kRunning) return;
    WfDword count = 0;
    // Timed only when the read may wait.
    const std::chrono::steady_clock::time_point read_began =
        read_wait_ms != 0 ? std::chrono::steady_clock::now()
                          : std::chrono::steady_clock::time_point();
    // Straight into the receive block when the piece surely fits there,
    // else into the read buffer, and the append decides.
    char* const room = receiver.RoomForPiece();
    const WfBool read = WFVirtualChannelRead(
        channel, read_wait_ms, room != nullptr ? room : read_buffer,
        kChannelReadSize, &count);
    if (read != 0 && count != 0) {
      if (room != nullptr) {
        receiver.PieceRead(count);
      } else {
        receiver.Append(read_buffer, static_cast<std::int32_t>(count));
      }
    }
    // Drain every complete package before polling again, so a burst of small
    // packages or a slow callback cannot overflow the buffer. The first one
    // goes out as the pass began; before each further one the state is
    // tested again, so a stop ends the reader after the package in hand.
    bool first = true;
    const std::size_t dispatched = receiver.DrainCompletePackages(
        [this, &log](const PackageView& package) {
          DispatchPackage(package, log);
        },
        [this, &first] {
          const bool go_on = first || state.load() == kRunning;
          first = false;
          return go_on;
        });
    const bool idle = count == 0 && dispatched == 0;
    // An idle session holds one step of the receive block, not what its
    // largest package took.
    if (idle) receiver.buffer().ReleaseUnused();
    if (read_wait_ms == 0
            ? idle
            : read == 0 || (idle && ReturnedEarly(read_began, read_wait_ms))) {
      port::SleepMilliseconds(kIdleSleepMs);
    }
  }
}

void CPackageThread::DispatchPackage(const PackageView& package,
                                     CLogFile& log) {
  try {
    port::LockGuard guard(lock);
    log.LogInfo(kDispatchFormat, static_cast<int>(package.type),
                static_cast<int>(package.message_id),
                static_cast<int>(FunctionId(package.message_id)));
    PackageCallBack callback = nullptr;
    if (package.type == kEventType) {
      callback = EventCallBack;
    } else if (package.type == kResultType) {
      callback = ResultCallBack;
    } else {
      log.LogError("%s", kDispatchInvalidHeader);
    }
    if (callback != nullptr) callback(package.bytes, package.size);
  } catch (...) {
    // Whatever the callback threw, the lock is released (the guard has gone)
    // and reading goes on; the package is consumed all the same.
    try {
      log.LogError("%s", kDispatchFatalError);
    } catch (...) {
    }
  }
}

}  // namespace qvctx
