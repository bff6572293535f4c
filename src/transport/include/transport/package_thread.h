// CPackageThread: the process-wide owner of the reader thread, which reads
// the client's packages from the channel and hands each complete one to the
// host's event or result callback.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_

#include <atomic>
#include <cstdint>
#include <memory>

#include "channel/wfapi.h"
#include "platform/platform.h"
#include "qvctx/qvctx.h"

namespace qvctx {

class CPackageReceiver;
class CShiftBuffer;
class StepFailures;

// Values of CPackageThread::state.
inline constexpr std::uint8_t kReaderStopped = 0;
inline constexpr std::uint8_t kReaderRunning = 1;
inline constexpr std::uint8_t kReaderStopRequested = 2;

// Where the host's two callbacks are kept (FNCTyp 1 and 2), by whoever owns
// them; read and written only under CPackageThread::lock. They must outlive
// the instance.
struct CallBackSlots {
  PackageCallBack* event;
  PackageCallBack* result;
};

// What one reader uses, handed over by whoever starts it and fixed for the
// reader's life, so a later start cannot change it under a running reader.
struct ReaderInputs {
  WfHandle channel;   // the channel it reads
  char* read_buffer;  // kReadBufferSize bytes, kept until the reader ended
  // 1 makes the reader stop, as a stop request does; must outlive the reader.
  const std::atomic<std::int32_t>* exit_code;
  // 0: the fixed cadence (reads that return at once, a 1 ms pause after one
  // that brought nothing). 1 to 1000: each read waits up to this many ms for
  // bytes, and only a failed read or one that returned nothing well before
  // its time-out is followed by a pause.
  std::uint32_t read_wait_ms;
};

class CPackageThread : public std::enable_shared_from_this<CPackageThread> {
 public:
  explicit CPackageThread(const CallBackSlots& slots) : slots_(slots) {}
  ~CPackageThread() = default;
  CPackageThread(const CPackageThread&) = delete;
  CPackageThread& operator=(const CPackageThread&) = delete;

  // Starts a reader on `inputs`: 0 started, 1 not (a thread was already
  // created by this instance, or creating one failed). The reader keeps the
  // library mapped until it has ended.
  std::int32_t StartThread(const ReaderInputs& inputs);

  // Store a callback slot under `lock` (null empties it), logging the line
  // of ServerRegisterEventCallBackFunction or
  // ServerRegisterResultCallBackFunction; always 0.
  std::int32_t SetEventCallBack(PackageCallBack callback);
  std::int32_t SetResultCallBack(PackageCallBack callback);

  // Stops the reader and tears the instance down; see DestroyPackageThread.
  // Every step runs; the failures of its log lines are kept in `failures`.
  void Destroy(StepFailures& failures);

  // 0 stopped, 1 running, 2 stop requested; shared with the reader unlocked.
  std::atomic<std::uint8_t> state{kReaderStopped};
  // The reader; set by StartThread, cleared only by the teardown.
  port::Thread* hThread = nullptr;
  // Guards the two callback slots and the dispatch of one package.
  port::RecursiveLock lock;

 private:
  // Stores one callback slot under `lock`, then logs which of the two lines
  // applies; always 0.
  std::int32_t StoreCallBack(PackageCallBack* slot, PackageCallBack callback,
                             const char* enabled_line,
                             const char* disabled_line);
  static std::uint32_t ServerDataProccesorThread(void* parameter);
  void RunReader();
  // The reader's loop; returns when state leaves 1 or the exit code is 1.
  void ReadPackages(CPackageReceiver& receiver);
  // True while the reader may go on: state 1 and the exit code not 1.
  bool KeepReading() const;
  // Hands the complete package at the front of `buffer` to its callback
  // under `lock`.
  void DispatchPackage(CShiftBuffer& buffer);
  // Waits for the reader after a stop request: 2000 polls of 1 ms for state
  // 0, then, logged, for the thread's end; never gives up while it runs.
  void WaitForReaderEnd(StepFailures& failures);

  const CallBackSlots slots_;
  // Set by StartThread before the reader is created; read only by it.
  ReaderInputs inputs_{};
  // Keeps the instance alive while its reader runs, even after the teardown
  // has let go of it; the reader takes this over when it starts.
  std::shared_ptr<CPackageThread> reader_keeps_alive_;
  // Set before the reader is resumed: its thread's end can be waited for.
  bool thread_resumed_ = false;
};

// The process-wide instance, created on first use with `slots` (ignored when
// it exists); two threads asking at once get the same one. Holding the result
// keeps it alive. During a teardown it is still the instance being torn down,
// so a registration from another thread waits for a running callback as at any
// other time.
std::shared_ptr<CPackageThread> GetPackageThread(const CallBackSlots& slots);

// Stops the reader (bounded wait of 2000 polls of 1 ms; past that it logs and
// waits on until the reader ends, so nothing it uses is released under it),
// closes the thread handle, clears both callbacks and drops the instance.
// Called from a callback on the reader thread itself, it requests the stop
// and lets the thread go: the reader finishes on its way out and nobody waits
// for it. Nothing when no instance exists. Callers serialise
// it with the start. Every step runs; then the first failure of a log line,
// if any, is thrown.
void DestroyPackageThread();

// True on the reader thread (inside a callback).
bool OnReaderThread();

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
