// Simulator: the one process-wide stand-in for the platform's virtual-channel
// library and the client end of its channel.
#ifndef QVCTX_SIM_CORE_SIMULATOR_H_
#define QVCTX_SIM_CORE_SIMULATOR_H_

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "buffer_registry.h"
#include "client_bridge.h"
#include "countdown.h"
#include "handle_table.h"
#include "qvctx/wfapi64_sim.h"
#include "wfsim/client/client_end.h"
#include "wfsim/recording/stream_recorder.h"

namespace wfsim {

// What an operation ends with: success, or the last-error code to set. The
// exported function sets the code after the lock is released.
struct Outcome {
  bool ok;
  std::uint32_t error;
};

// Every member takes the one lock; nothing calls out while holding it. The
// condition variable wakes the waits (and reads with a time-out) whenever
// anything they look at changes.
class Simulator {
 public:
  // Created on first use and never destroyed: the reader thread of the
  // library may still call in while the process ends.
  static Simulator& Instance();
  // With QVCTX_SIM_END_AT_EXIT set: marks the state ended, so that every
  // read from now on aborts the process, and lets a reader that goes on
  // reading come for a while. Run at the process's exit.
  void EndAtExit();

  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  // The platform operations. Pointers are the caller's; handles are checked.
  Outcome QuerySession(const void* server, std::uint32_t session,
                       int info_class, char** buffer, std::uint32_t* bytes);
  Outcome Open(const void* server, std::uint32_t session, const char* name,
               void** handle);
  Outcome Query(const void* channel, int virtual_class, void** buffer,
                std::uint32_t* bytes);
  Outcome Read(const void* channel, std::uint32_t timeout_ms, char* buffer,
               std::uint32_t size, std::uint32_t* read);
  Outcome Write(const void* channel, const char* buffer, std::uint32_t length,
                std::uint32_t* written);
  Outcome Close(const void* channel);
  void FreeMemory(void* memory);

  // The control functions of wfapi64_sim.h, same meaning.
  void Reset();
  void SetIcaSession(bool is_ica_session);
  void SetClientConnected(bool connected);
  bool SetNextHandle(std::uint64_t value);
  std::uint32_t OpenHandleCount();
  std::uint32_t HeldBufferCount();
  std::uint64_t CallCount(int operation);
  bool WaitForCalls(int operation, std::uint64_t count,
                    std::uint32_t timeout_ms);
  bool FailCalls(int operation, std::uint32_t after_successes,
                 std::uint32_t count, std::uint32_t error_code);
  void SetWriteCap(std::uint32_t max_bytes);
  void ZeroWrites(std::uint32_t after_successes, std::uint32_t count);
  // Calls of the operation that an injected fault changed since it was set.
  std::uint32_t FaultsFired(int operation);
  void ClientSend(const std::uint8_t* data, std::size_t size);
  void SetReadPieceSize(std::uint32_t max_bytes);
  void IgnoreReadTimeouts(bool on);
  void SetReadWaitShare(std::uint32_t percent);
  std::uint64_t PendingReadBytes();
  bool WaitUntilRead(std::uint32_t timeout_ms);
  std::uint64_t WrittenTotal();
  std::uint64_t WrittenAvailable();
  std::uint32_t TakeWritten(std::uint8_t* out, std::uint32_t capacity);
  bool WaitForWritten(std::uint64_t total, std::uint32_t timeout_ms);
  std::uint32_t WriteRecordCount();
  bool GetWriteRecord(std::uint32_t index, WfSimWriteRecord* record);
  void SetBuiltInClient(bool on);
  void SetKeepWritten(bool on);
  std::uint32_t AnsweredCount();
  std::uint64_t UnframedBytes();
  int BridgeState();
  bool WaitForBridgeState(int state, std::uint32_t timeout_ms);

 private:
  static constexpr int kOperationCount = WFSIM_FREE_MEMORY + 1;

  Simulator() = default;

  // Counts a call of `operation` (under the lock) and wakes the waits.
  void CountCall(int operation);
  // Records one write call.
  void RecordWrite(std::uint32_t requested, std::uint32_t taken, bool ok,
                   std::uint32_t error);
  // With QVCTX_SIM_CONNECT set and no live connection: connects to the
  // client process. A connection that has ended is handed to `retired`, to
  // be destroyed after the lock is released.
  Outcome ConnectClientIfAsked(std::shared_ptr<ClientBridge>* retired);
  // With QVCTX_SIM_RECORD set: starts recording, once per process.
  void StartRecordingIfAsked();
  // The bridge's sinks, on its thread.
  void FromRemoteClient(const ClientBridge* bridge, const std::uint8_t* data,
                        std::size_t size);
  void RemoteClientEnded(const ClientBridge* bridge);
  // Success for an open handle of the live connection; otherwise the failure
  // an operation on it ends with.
  Outcome CheckHandle(std::uintptr_t handle) const;
  // True when the handle was opened in a connection that has ended.
  bool IsCutOff(std::uintptr_t handle) const {
    return handles_.ConnectionOf(handle) != connection_;
  }
  int BridgeStateLocked() const;
  // Blocks until `done` holds or the time-out ends; true when it holds.
  template <typename Predicate>
  bool WaitFor(std::uint32_t timeout_ms, Predicate done);

  std::mutex mutex_;
  std::condition_variable changed_;  // notified on every change of state
  HandleTable handles_;
  BufferRegistry buffers_;
  ClientEnd client_;
  std::array<std::uint64_t, kOperationCount> calls_{};  // since the reset
  std::array<Countdown, kOperationCount> faults_{};     // FREE_MEMORY unused
  Countdown zero_writes_;
  std::uint32_t write_cap_ = 0;  // 0: no cap
  bool ignore_read_timeouts_ = false;
  std::uint32_t read_wait_percent_ = 100;  // of each read's time-out
  bool ica_session_ = true;
  // The client's connection: a drop (WfSimSetClientConnected(0), or the
  // client process ending the bridge) ends it and the next one begins.
  // Handles opened before a drop are cut off from the client.
  std::uint64_t connection_ = 0;
  // The connection whose bytes are queued for the server: the first open of
  // a later connection empties the queue, so its stream starts clean.
  std::uint64_t queued_connection_ = 0;
  bool client_away_ = false;  // dropped and not yet back: opens fail
  // A client send is filling its reserved room outside the lock; other bytes
  // for the server wait, so a send stays whole.
  bool client_filling_ = false;
  // A read is copying from the queue's front outside the lock; other reads
  // wait, and the queue is not emptied meanwhile.
  bool reading_ = false;
  std::vector<WfSimWriteRecord> writes_;  // every write call since the reset
  // The connection to a client process while channels are open; shared with
  // writers that send outside the lock.
  std::shared_ptr<ClientBridge> bridge_;
  // Lives as long as the process once recording started.
  std::unique_ptr<StreamRecorder> recorder_;
  bool recording_checked_ = false;  // QVCTX_SIM_RECORD was looked at
  bool ended_ = false;              // EndAtExit ran: reads abort
};

}  // namespace wfsim

#endif  // QVCTX_SIM_CORE_SIMULATOR_H_
