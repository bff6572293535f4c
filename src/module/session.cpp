#include "module/session.h"

#include <cstdint>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/mutex.h"
#include "base/no_destructor.h"
#include "base/step_failures.h"
#include "channel/wfapi.h"
#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "diagnostics/session_step.h"
#include "module/messages.h"
#include "module/module_data.h"
#include "module/session_test_helper.h"
#include "platform/platform.h"
#include "protocol/wire_format.h"
#include "transport/package_thread.h"

namespace qvctx {

namespace {

constexpr WfHandle kCurrentServer = nullptr;
constexpr WfDword kCurrentSession = static_cast<WfDword>(-1);
constexpr int kSessionInfoClass = 4;
constexpr int kClientDataClass = 0;

char* AllocateReadBuffer(std::size_t size) {
  return new (std::nothrow) char[size];
}

// How the start allocates the read buffer; tests replace it to make it fail.
char* (*g_allocate_read_buffer)(std::size_t) = &AllocateReadBuffer;

// What a start without a close in between replaced: the reader of the
// earlier start may still use it, so it is released by the next close, once
// that reader has stopped.
struct Superseded {
  Mutex mutex;
  std::vector<char*> session_infos GUARDED_BY(mutex);
  std::vector<void*> client_datas GUARDED_BY(mutex);
  std::vector<WfHandle> channels GUARDED_BY(mutex);
  std::vector<char*> read_buffers GUARDED_BY(mutex);
};

Superseded& Replaced() {
  static NoDestructor<Superseded> replaced;
  return *replaced;
}

// Keeps `value` in the list that `member` picks.
template <typename T>
void Supersede(std::vector<T> Superseded::*member, T value) {
  if (value == nullptr) return;
  Superseded& replaced = Replaced();
  MutexLock hold(replaced.mutex);
  (replaced.*member).push_back(value);
}

// The lifecycle: one start or close at a time. A host thread waits for its
// turn. The reader thread (a callback that starts or closes) never waits for
// a close, whose thread may be waiting for the reader itself; a start never
// waits for the reader, so the reader may wait for one.
enum class Operation { kNone, kStart, kClose };

struct Lifecycle {
  Mutex mutex;
  CondVar turn_ended{mutex};
  Operation running GUARDED_BY(mutex) = Operation::kNone;
};

Lifecycle& GetLifecycle() {
  static NoDestructor<Lifecycle> lifecycle;
  return *lifecycle;
}

// Holds the lifecycle's turn for one start or close; not held (held() false)
// when a callback's call meets a close under way.
class LifecycleTurn {
 public:
  explicit LifecycleTurn(Operation operation) {
    Lifecycle& lifecycle = GetLifecycle();
    const bool on_reader = OnReaderThread();
    MutexLock hold(lifecycle.mutex);
    while (lifecycle.running != Operation::kNone) {
      if (on_reader && lifecycle.running == Operation::kClose) return;
      lifecycle.turn_ended.Wait();
    }
    lifecycle.running = operation;
    held_ = true;
  }
  ~LifecycleTurn() {
    if (!held_) return;
    Lifecycle& lifecycle = GetLifecycle();
    {
      MutexLock hold(lifecycle.mutex);
      lifecycle.running = Operation::kNone;
    }
    lifecycle.turn_ended.SignalAll();
  }
  LifecycleTurn(const LifecycleTurn&) = delete;
  LifecycleTurn& operator=(const LifecycleTurn&) = delete;

  bool held() const { return held_; }

 private:
  bool held_ = false;
};

void Info(const StepLines& step) { WriteStep(StepLevel::kInfo, step); }

void LogToCurrentWriter(const char* what) noexcept {
  try {
    if (const std::shared_ptr<CLogFile> log = CurrentLogFile()) {
      log->LogError(kEscapedExceptionFormat, kCloseExportName, what);
    }
  } catch (...) {
    // Nothing left to report with.
  }
}

// Info as two steps of a teardown: the session-log line is added even when
// the file line cannot be made.
void InfoSteps(StepFailures& failures, const StepLines& step) {
  failures.Run([&step] { GetLogFile()->LogInfo("%s", step.file); });
  failures.Run([&step] { AppendStepLine(StepLevel::kInfo, step.session); });
}

// A failed platform call: the code is read once, right after the call, and
// printed signed in the file line and unsigned in the session-log line.
void ReportPlatformFailure(const StepLines& step, std::uint32_t code) {
  WriteStep(StepLevel::kError, step, static_cast<int>(code),
            std::to_string(code));
}

// The value "%ld" shows for a handle in the Windows data model: its low 32
// bits as a signed number.
long HandleNumber(WfHandle handle) {
  return static_cast<long>(
      static_cast<std::int32_t>(reinterpret_cast<std::uintptr_t>(handle)));
}

// The first failed step of a close, reported as an export reports what
// escapes it, but by the writer the close has used, before that writer's
// closing line: a writer created for the report would open the file again
// behind that line (and, not appending, empty it of the close's own lines)
// and stay open after the close. Without a writer the report is dropped; the
// result is the same either way.
void ReportCloseFailure(const StepFailures& failures) noexcept {
  try {
    failures.Rethrow();
  } catch (const std::exception& error) {
    LogToCurrentWriter(error.what());
  } catch (...) {
    LogToCurrentWriter(kUnknownException);
  }
}

void ReleaseSuperseded(StepFailures& failures) {
  Superseded& replaced = Replaced();
  MutexLock hold(replaced.mutex);
  for (void* data : replaced.client_datas) WFFreeMemory(data);
  for (char* info : replaced.session_infos) WFFreeMemory(info);
  // Emptied with their storage: the lists outlive no unload of the library,
  // their heap blocks would.
  std::vector<void*>().swap(replaced.client_datas);
  std::vector<char*>().swap(replaced.session_infos);
  std::vector<WfHandle> still_open;
  for (WfHandle channel : replaced.channels) {
    if (WFVirtualChannelClose(channel) == 0) {
      const std::uint32_t code = port::LastErrorCode();
      failures.Run([code] {
        GetLogFile()->LogInfo(kChannelCloseFailed.file, static_cast<int>(code));
      });
      // Kept for the next close to try again; with no room it is dropped.
      failures.Run([&] { still_open.push_back(channel); });
    }
  }
  replaced.channels.swap(still_open);
  for (char* buffer : replaced.read_buffers) delete[] buffer;
  std::vector<char*>().swap(replaced.read_buffers);
}

}  // namespace

std::int32_t RegisterEventCallBack(PackageCallBack callback) {
  return GetPackageThread()->SetEventCallBack(callback);
}

std::int32_t RegisterResultCallBack(PackageCallBack callback) {
  return GetPackageThread()->SetResultCallBack(callback);
}

void SetReadBufferAllocatorForTesting(char* (*allocate)(std::size_t)) {
  g_allocate_read_buffer = allocate != nullptr ? allocate : &AllocateReadBuffer;
}

std::int32_t StartSession() {
  const LifecycleTurn turn(Operation::kStart);
  if (!turn.held()) {
    // A callback's start while the session is being closed: that close waits
    // for this very reader, so there is nothing to start on.
    GetLogFile()->LogError("%s", kStartDuringClose);
    return 1;
  }
  myModuleData.exitcode.store(0);
  Info(kStartEntering);

  Supersede(&Superseded::session_infos, myModuleData.pSessionInfo);
  myModuleData.pSessionInfo = nullptr;
  WfDword session_bytes = 0;
  if (WFQuerySessionInformationA(kCurrentServer, kCurrentSession,
                                 kSessionInfoClass, &myModuleData.pSessionInfo,
                                 &session_bytes) == 0) {
    ReportPlatformFailure(kQuerySessionFailed, port::LastErrorCode());
    return 1;
  }
  if (myModuleData.pSessionInfo == nullptr ||
      myModuleData.pSessionInfo[0] == 0) {
    WriteStep(StepLevel::kError, kNotInIcaSession);
    return 1;
  }
  Info(kSessionInfoCorrect);

  Supersede(&Superseded::channels, myModuleData.hVirtualChannel.load());
  // The platform's open takes the name as a non-const buffer.
  char channel_name[sizeof(kVirtualChannelName)];
  std::memcpy(channel_name, kVirtualChannelName, sizeof(channel_name));
  const WfHandle channel =
      WFVirtualChannelOpen(kCurrentServer, kCurrentSession, channel_name);
  const std::uint32_t open_error = port::LastErrorCode();
  myModuleData.hVirtualChannel.store(channel);
  if (channel == nullptr) {
    ReportPlatformFailure(kOpenFailed, open_error);
    return 1;
  }
  WriteStep(StepLevel::kInfo, kOpened, HandleNumber(channel),
            std::to_string(HandleNumber(channel)));

  Supersede(&Superseded::client_datas, myModuleData.pClientData);
  myModuleData.pClientData = nullptr;
  WfDword client_bytes = 0;
  if (WFVirtualChannelQuery(channel, kClientDataClass,
                            &myModuleData.pClientData, &client_bytes) == 0) {
    ReportPlatformFailure(kQueryFailed, port::LastErrorCode());
    return 1;
  }
  Info(kQueried);

  Info(kCreateReadBuffer);
  WriteStep(StepLevel::kInfo, kHeadSize, static_cast<int>(kPackageHeadSize),
            std::to_string(kPackageHeadSize));

  Supersede(&Superseded::read_buffers, myModuleData.GlobalReadDataTmpPtr);
  myModuleData.GlobalReadDataTmpPtr = g_allocate_read_buffer(kReadBufferSize);
  if (myModuleData.GlobalReadDataTmpPtr == nullptr) {
    GetLogFile()->LogError("%s", kReadBufferFailed);
    return 1;
  }
  Info(kInitializeFifo);
  Info(kInitializeReader);

  myModuleData.exitcode.store(GetPackageThread()->StartThread(
      ReaderInputs{channel, myModuleData.GlobalReadDataTmpPtr,
                   myModuleData.read_wait_ms, GetLogFile()}));

  const std::int32_t result = myModuleData.exitcode.load();
  WriteStep(StepLevel::kInfo, kStartResult, static_cast<int>(result),
            std::to_string(result));
  return result;
}

std::int32_t CloseSession() {
  const LifecycleTurn turn(Operation::kClose);
  // A callback's close while another close waits for this reader: that
  // close does every step once the callback has returned.
  if (!turn.held()) return myModuleData.exitcode.load();

  // Every step runs whatever a log or session-log line costs; the first
  // such failure is reported after the last step.
  StepFailures failures;
  failures.Run([] { DestroyPackageThread(); });
  InfoSteps(failures, kCloseThreads);

  if (myModuleData.pClientData != nullptr) {
    WFFreeMemory(myModuleData.pClientData);
    myModuleData.pClientData = nullptr;
    InfoSteps(failures, kFreedClientData);
  }
  if (myModuleData.pSessionInfo != nullptr) {
    WFFreeMemory(myModuleData.pSessionInfo);
    myModuleData.pSessionInfo = nullptr;
    InfoSteps(failures, kFreedSessionInfo);
  }
  const WfHandle channel = myModuleData.hVirtualChannel.load();
  if (channel != nullptr) {
    if (WFVirtualChannelClose(channel) != 0) {
      myModuleData.hVirtualChannel.store(nullptr);
    } else {
      const std::uint32_t code = port::LastErrorCode();
      failures.Run([code] {
        GetLogFile()->LogInfo(kChannelCloseFailed.file, static_cast<int>(code));
      });
      failures.Run([code] {
        AppendStepLine(StepLevel::kInfo,
                       kChannelCloseFailed.session + std::to_string(code));
      });
    }
  }
  if (myModuleData.GlobalReadDataTmpPtr != nullptr) {
    delete[] myModuleData.GlobalReadDataTmpPtr;
    myModuleData.GlobalReadDataTmpPtr = nullptr;
    InfoSteps(failures, kFreedReadBuffer);
  }
  ReleaseSuperseded(failures);
  ReportCloseFailure(failures);
  try {
    DestroyLogFile();
  } catch (...) {
    // Ending the writer allocates nothing; nothing is left to report with.
  }
  return myModuleData.exitcode.load();
}

}  // namespace qvctx
