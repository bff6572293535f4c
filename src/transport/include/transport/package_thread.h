// CPackageThread: the owner of one reader thread, which reads the client's
// packages from the channel and hands each complete one to the host's event
// or result callback. Whoever owns the session holds it and hands it what it
// uses; it reaches nothing process-wide.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "base/thread_annotations.h"
#include "channel/wfapi.h"
#include "diagnostics/log_file.h"
#include "diagnostics/logger.h"
#include "platform/platform.h"
#include "qvctx/qvctx.h"

namespace qvctx {

class CLogFile;
class CPackageReceiver;
struct PackageView;
class StepFailures;

// What one reader uses, handed over by whoever starts it and fixed for the
// reader's life, so a later start cannot change it under a running reader.
struct ReaderInputs {
  WfHandle channel;  // the channel it reads
  // kReadBufferSize bytes, kept until the reader ended; a read goes there
  // only when it might not fit behind the receive block's bytes
  char* read_buffer;
  // 0: the fixed cadence (reads that return at once, a 1 ms pause after one
  // that brought nothing). 1 to 1000: each read waits up to this many ms for
  // bytes, and only a failed read or one that returned nothing well before
  // its time-out is followed by a pause.
  std::uint32_t read_wait_ms;
  // The writer of the session that starts it: the reader's own lines go to
  // it alone. Once that session's close has ended it, they are dropped, so a
  // reader that outlives its session (closed from its own callback) never
  // opens a writer of its own, which would empty a file not appended to and
  // stay open after the close.
  std::shared_ptr<CLogFile> log;
};

// The reader and everything it alone decides on: its thread, its one stop
// signal (state) and the host's two callbacks, which it calls under its
// lock. Starts and closes of a session are serialised by the caller; the
// callbacks may be registered from any thread at any time.
class CPackageThread : public std::enable_shared_from_this<CPackageThread> {
 public:
  // `host_log` takes the lines of the host's calls (the start, the
  // registrations, the teardown); it must outlive the instance.
  explicit CPackageThread(Logger& host_log) : host_log_(host_log) {}
  ~CPackageThread() = default;
  CPackageThread(const CPackageThread&) = delete;
  CPackageThread& operator=(const CPackageThread&) = delete;

  // Starts a reader on `inputs`: 0 started, 1 not (creating a thread failed,
  // or a thread was already created by this instance: a reader of it that
  // still runs is then told to stop, and ends on its next pass). The reader
  // keeps the library mapped until it has ended.
  std::int32_t StartThread(const ReaderInputs& inputs);

  // Store a callback under `lock` (null empties the slot), logging the line
  // of ServerRegisterEventCallBackFunction or
  // ServerRegisterResultCallBackFunction; always 0.
  std::int32_t SetEventCallBack(PackageCallBack callback);
  std::int32_t SetResultCallBack(PackageCallBack callback);

  // The two halves of the teardown. Every step runs; the failures of their
  // log lines are kept in `failures`. Stops the reader (bounded wait of 2000
  // polls of 1 ms; past that it logs and waits on until the reader ends, so
  // nothing it uses is released under it) and lets its thread go; called from
  // a callback on the reader thread itself, it requests the stop and lets the
  // thread go: the reader finishes on its way out and nobody waits for it.
  void StopReader(StepFailures& failures);
  // Empties both callbacks and logs the instance's end:
  void ClearCallBacks(StepFailures& failures);

  // At the process's exit: asks a running reader to stop and waits for it a
  // short while (its read's wait and 500 ms more), never longer, so a reader
  // held in a host callback does not hold up the exit. Nothing when called on
  // the reader itself (an exit from a callback), which ends with the process.
  void StopAtProcessExit();

 private:
  // Values of state. The reader runs its loop while the state is running;
  // the state the loop ends on says whether it logs why.
  enum ReaderState : std::uint8_t {
    kStopped = 0,  // no reader runs on behalf of this instance
    kRunning = 1,
    kStopRequested = 2,  // by the close
    // by a later start that found this reader's thread still there: the
    // reader logs that the last start failed and stops
    kStopForced = 3,
  };

  // Stores one callback slot under `lock`, then logs which of the two lines
  // applies; always 0.
  std::int32_t StoreCallBack(PackageCallBack* slot, PackageCallBack callback,
                             const char* enabled_line,
                             const char* disabled_line);
  static std::uint32_t ServerDataProccesorThread(void* parameter);
  void RunReader();
  // The reader's loop, logging to `log`; returns when the state leaves
  // running.
  void ReadPackages(CPackageReceiver& receiver, CLogFile& log);
  // Hands the complete package at the front to its callback under `lock`.
  void DispatchPackage(const PackageView& package, CLogFile& log)
      EXCLUDES(lock);
  // Asks a reader that is not stopped to stop; false when it was stopped.
  bool RequestStop();
  // Waits for the reader after a stop request: 2000 polls of 1 ms for state
  // 0, then, logged, for the thread's end; never gives up while it runs.
  void WaitForReaderEnd(StepFailures& failures);

  // Shared with the reader unlocked: written by the start, the close and
  // the reader (as its last act, to stopped), so each change from one
  // value to another is a compare-and-swap.
  std::atomic<std::uint8_t> state{kStopped};
  // Guards the two callbacks and the dispatch of one package. Recursive: a
  // callback may register a callback.
  port::RecursiveLock lock;
  PackageCallBack EventCallBack GUARDED_BY(lock) = nullptr;   // FNCTyp 1
  PackageCallBack ResultCallBack GUARDED_BY(lock) = nullptr;  // FNCTyp 2

  Logger& host_log_;

  // The rest belongs to the start and the close, which never run at once.
  // The reader; set by StartThread, cleared only by the teardown.
  port::Thread* hThread = nullptr;
  // Set by StartThread before the reader is created; read only by it.
  ReaderInputs inputs_{};
  // Keeps the instance alive while its reader runs, even after the teardown
  // has let go of it; the reader takes this over when it starts.
  std::shared_ptr<CPackageThread> reader_keeps_alive_;
  // Set before the reader is resumed: its thread's end can be waited for.
  bool thread_resumed_ = false;
};

// True on the reader thread (inside a callback).
bool OnReaderThread();

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
