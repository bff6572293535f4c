// The module object: the library as the exports reach it. It owns the
// callback registry and the current session (the channel handle and read
// buffer it records in myModuleData, the reader, the send lock and the log
// writer it hands down), and serialises the session's starts and closes.
#ifndef QVCTX_SRC_MODULE_MODULE_H_
#define QVCTX_SRC_MODULE_MODULE_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "base/mutex.h"
#include "base/thread_annotations.h"
#include "channel/wfapi.h"
#include "diagnostics/logger.h"
#include "platform/platform.h"
#include "qvctx/qvctx.h"

namespace qvctx {

class CPackageThread;
class StepFailures;

class Module {
 public:
  explicit Module(Logger& log) : log_(log) {}
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;

  // ServerStartSession: checks the ICA session, opens the channel "qvctx",
  // queries the client data, allocates the read buffer and starts the
  // reader. 0 started, 1 failed.
  std::int32_t StartSession();

  // ServerCloseSession: stops the reader, releases the platform buffers,
  // closes the channel, frees the read buffer and ends the log writer. Every
  // step runs; the first that failed (no memory for a log line) is logged
  // before the writer ends, as the export would report it. Returns the last
  // start's result. A reader that closed its own session is never waited
  // for, here or in the start.
  std::int32_t CloseSession();

  // ServerRegisterEventCallBackFunction / ServerRegisterResultCallBackFunction.
  std::int32_t RegisterEventCallBack(PackageCallBack callback);
  std::int32_t RegisterResultCallBack(PackageCallBack callback);

  // ServerRegisterFarFunction / ServerSendBulkData on the current channel.
  std::int32_t SendFarFunction(const void* package, std::int32_t length);
  std::int32_t SendBulkData(const void* data, std::uint32_t length);

  // The last start's result, as ServerGetLastError and the close report it.
  std::int32_t LastResult() const;

 private:
  enum class Operation { kNone, kStart, kClose };
  class Turn;

  // The reader instance, created on first use; two threads asking at once
  // get the same one. During a teardown it is still the instance being torn
  // down, so a registration from another thread waits for a running callback
  // as at any other time.
  std::shared_ptr<CPackageThread> Reader() EXCLUDES(mutex_);
  // Stops the reader, drops the instance, then clears its callbacks. Every
  // step runs; then the first failure of a log line, if any, is thrown.
  void DestroyReader() EXCLUDES(mutex_);
  // Keeps `value`, replaced by a start without a close, in `list` for the
  // next close.
  template <typename T>
  void Supersede(std::vector<T> Module::*list, T value) EXCLUDES(mutex_);
  void ReleaseSuperseded(StepFailures& failures) EXCLUDES(mutex_);
  static void StopReaderAtProcessExit();

  // Where the lines of the host's calls go: whichever writer is current.
  Logger& log_;
  // Guards whose turn it is, the reader instance and what a start without a
  // close replaced. Nothing that waits runs under it (the stop wait, a
  // dispatch, a platform call), so a callback may register while a host
  // thread tears the reader down.
  Mutex mutex_;
  // One start or close at a time. A host thread waits for its turn. The
  // reader thread (a callback that starts or closes) never waits for a close,
  // whose thread may be waiting for the reader itself; a start never waits
  // for the reader, so the reader may wait for one.
  CondVar turn_ended_{mutex_};
  Operation running_ GUARDED_BY(mutex_) = Operation::kNone;
  std::shared_ptr<CPackageThread> reader_ GUARDED_BY(mutex_);
  // What a start without a close in between replaced: the reader of the
  // earlier start may still use it, so it is released by the next close,
  // once that reader has stopped.
  std::vector<char*> superseded_session_infos_ GUARDED_BY(mutex_);
  std::vector<void*> superseded_client_datas_ GUARDED_BY(mutex_);
  std::vector<WfHandle> superseded_channels_ GUARDED_BY(mutex_);
  std::vector<char*> superseded_read_buffers_ GUARDED_BY(mutex_);
  // One send at a time on the wire (see SendTarget).
  port::RecursiveLock send_lock_;
  // Whether this load has set up the reader's stop at the process's exit.
  std::atomic<bool> exit_stop_registered_{false};
};

// The one module object of this load.
Module& TheModule();

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_MODULE_H_
