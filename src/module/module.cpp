#include "module/module.h"

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
#include "transport/package_sender.h"
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
void InfoSteps(StepFailures& failures, Logger& log, const StepLines& step) {
  failures.Run([&log, &step] { log.LogInfo("%s", step.file); });
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

}  // namespace

// Holds the module's turn for one start or close; not held (held() false)
// when a callback's call meets a close under way.
class Module::Turn {
 public:
  Turn(Module& module, Operation operation) : module_(module) {
    const bool on_reader = OnReaderThread();
    MutexLock hold(module_.mutex_);
    while (module_.running_ != Operation::kNone) {
      if (on_reader && module_.running_ == Operation::kClose) return;
      module_.turn_ended_.Wait();
    }
    module_.running_ = operation;
    held_ = true;
  }
  ~Turn() {
    if (!held_) return;
    {
      MutexLock hold(module_.mutex_);
      module_.running_ = Operation::kNone;
    }
    module_.turn_ended_.SignalAll();
  }
  Turn(const Turn&) = delete;
  Turn& operator=(const Turn&) = delete;

  bool held() const { return held_; }

 private:
  Module& module_;
  bool held_ = false;
};

Module& TheModule() {
  static NoDestructor<Module> module(ProcessLogWriter());
  return *module;
}

std::shared_ptr<CPackageThread> Module::Reader() {
  MutexLock hold(mutex_);
  if (!reader_) reader_ = std::make_shared<CPackageThread>(log_);
  return reader_;
}

void Module::DestroyReader() {
  std::shared_ptr<CPackageThread> reader;
  {
    MutexLock hold(mutex_);
    reader = reader_;
  }
  if (reader == nullptr) return;
  StepFailures failures;
  // The instance stays reachable until its reader has stopped: a
  // registration from another thread meanwhile takes the same lock as the
  // dispatch, so it waits for a running callback.
  reader->StopReader(failures);
  {
    MutexLock hold(mutex_);
    if (reader_ == reader) reader_.reset();
  }
  // Emptied once nothing can reach the instance any more: a registration
  // that comes after these lines goes to the next instance and is kept.
  reader->ClearCallBacks(failures);
  failures.Rethrow();
}

void Module::StopReaderAtProcessExit() {
  std::shared_ptr<CPackageThread> reader;
  {
    Module& module = TheModule();
    MutexLock hold(module.mutex_);
    reader = module.reader_;
  }
  if (reader) reader->StopAtProcessExit();
}

template <typename T>
void Module::Supersede(std::vector<T> Module::*list, T value) {
  if (value == nullptr) return;
  MutexLock hold(mutex_);
  (this->*list).push_back(value);
}

void Module::ReleaseSuperseded(StepFailures& failures) {
  // Taken out whole, so no platform call runs under the module's lock.
  std::vector<char*> session_infos;
  std::vector<void*> client_datas;
  std::vector<WfHandle> channels;
  std::vector<char*> read_buffers;
  {
    MutexLock hold(mutex_);
    session_infos.swap(superseded_session_infos_);
    client_datas.swap(superseded_client_datas_);
    channels.swap(superseded_channels_);
    read_buffers.swap(superseded_read_buffers_);
  }
  // Emptied with their storage: the lists outlive no unload of the library,
  // their heap blocks would.
  for (void* data : client_datas) WFFreeMemory(data);
  for (char* info : session_infos) WFFreeMemory(info);
  std::vector<WfHandle> still_open;
  for (WfHandle channel : channels) {
    if (WFVirtualChannelClose(channel) == 0) {
      const std::uint32_t code = port::LastErrorCode();
      failures.Run([this, code] {
        log_.LogInfo(kChannelCloseFailed.file, static_cast<int>(code));
      });
      // Kept for the next close to try again; with no room it is dropped.
      failures.Run([&] { still_open.push_back(channel); });
    }
  }
  for (char* buffer : read_buffers) delete[] buffer;
  MutexLock hold(mutex_);
  superseded_channels_.swap(still_open);
}

std::int32_t Module::RegisterEventCallBack(PackageCallBack callback) {
  return Reader()->SetEventCallBack(callback);
}

std::int32_t Module::RegisterResultCallBack(PackageCallBack callback) {
  return Reader()->SetResultCallBack(callback);
}

std::int32_t Module::SendFarFunction(const void* package, std::int32_t length) {
  return qvctx::SendFarFunction(
      SendTarget{myModuleData.hVirtualChannel.load(), log_, send_lock_},
      package, length);
}

std::int32_t Module::SendBulkData(const void* data, std::uint32_t length) {
  return qvctx::SendBulkData(
      SendTarget{myModuleData.hVirtualChannel.load(), log_, send_lock_}, data,
      length);
}

std::int32_t Module::LastResult() const { return myModuleData.exitcode.load(); }

void SetReadBufferAllocatorForTesting(char* (*allocate)(std::size_t)) {
  g_allocate_read_buffer = allocate != nullptr ? allocate : &AllocateReadBuffer;
}

std::int32_t Module::StartSession() {
  const Turn turn(*this, Operation::kStart);
  if (!turn.held()) {
    // A callback's start while the session is being closed: that close waits
    // for this very reader, so there is nothing to start on.
    log_.LogError("%s", kStartDuringClose);
    return 1;
  }
  myModuleData.exitcode.store(0);
  Info(kStartEntering);

  Supersede(&Module::superseded_session_infos_, myModuleData.pSessionInfo);
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

  Supersede(&Module::superseded_channels_, myModuleData.hVirtualChannel.load());
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

  Supersede(&Module::superseded_client_datas_, myModuleData.pClientData);
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

  Supersede(&Module::superseded_read_buffers_,
            myModuleData.GlobalReadDataTmpPtr);
  myModuleData.GlobalReadDataTmpPtr = g_allocate_read_buffer(kReadBufferSize);
  if (myModuleData.GlobalReadDataTmpPtr == nullptr) {
    log_.LogError("%s", kReadBufferFailed);
    return 1;
  }
  Info(kInitializeFifo);
  Info(kInitializeReader);

  const std::shared_ptr<CPackageThread> reader = Reader();
  // A process that exits with the reader running tears down the platform's
  // library under it (POSIX): the reader is stopped first.
  if (!exit_stop_registered_.exchange(true)) {
    port::RunAtProcessExit(&Module::StopReaderAtProcessExit);
  }
  myModuleData.exitcode.store(reader->StartThread(
      ReaderInputs{channel, myModuleData.GlobalReadDataTmpPtr,
                   myModuleData.read_wait_ms, GetLogFile()}));

  const std::int32_t result = myModuleData.exitcode.load();
  WriteStep(StepLevel::kInfo, kStartResult, static_cast<int>(result),
            std::to_string(result));
  return result;
}

std::int32_t Module::CloseSession() {
  const Turn turn(*this, Operation::kClose);
  // A callback's close while another close waits for this reader: that
  // close does every step once the callback has returned.
  if (!turn.held()) return myModuleData.exitcode.load();

  // Every step runs whatever a log or session-log line costs; the first
  // such failure is reported after the last step.
  StepFailures failures;
  failures.Run([this] { DestroyReader(); });
  InfoSteps(failures, log_, kCloseThreads);

  if (myModuleData.pClientData != nullptr) {
    WFFreeMemory(myModuleData.pClientData);
    myModuleData.pClientData = nullptr;
    InfoSteps(failures, log_, kFreedClientData);
  }
  if (myModuleData.pSessionInfo != nullptr) {
    WFFreeMemory(myModuleData.pSessionInfo);
    myModuleData.pSessionInfo = nullptr;
    InfoSteps(failures, log_, kFreedSessionInfo);
  }
  const WfHandle channel = myModuleData.hVirtualChannel.load();
  if (channel != nullptr) {
    if (WFVirtualChannelClose(channel) != 0) {
      myModuleData.hVirtualChannel.store(nullptr);
    } else {
      const std::uint32_t code = port::LastErrorCode();
      failures.Run([this, code] {
        log_.LogInfo(kChannelCloseFailed.file, static_cast<int>(code));
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
    InfoSteps(failures, log_, kFreedReadBuffer);
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
