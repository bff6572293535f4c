#include "simulator.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>

#if defined(__x86_64__) || defined(_M_X64)
#include <immintrin.h>
#endif

namespace wfsim {

namespace {

constexpr std::uint32_t kCurrentSession = 0xFFFFFFFFu;
constexpr int kSessionInfoClass = 4;  // is this an ICA session
constexpr int kClientDataClass = 0;   // the client's channel data
constexpr char kChannelName[] = "qvctx";
constexpr std::size_t kSessionInfoSize = 4;
constexpr std::size_t kClientDataSize = 8;

constexpr Outcome kSuccess{true, 0};

// The settings a host developer gives through the environment.
constexpr char kConnectVariable[] = "QVCTX_SIM_CONNECT";
constexpr char kRecordVariable[] = "QVCTX_SIM_RECORD";

// How long the state's end at exit lets a reader that goes on reading come.
constexpr std::chrono::milliseconds kEndGrace{250};

// The variable's value; empty when it is not set.
std::string Setting(const char* name) {
  // NOLINTNEXTLINE(concurrency-mt-unsafe): no thread changes it meanwhile
  const char* const value = std::getenv(name);
  return value == nullptr ? std::string() : std::string(value);
}

Outcome Failure(std::uint32_t error) { return Outcome{false, error}; }

std::uintptr_t HandleValue(const void* handle) {
  return reinterpret_cast<std::uintptr_t>(handle);
}

bool ValidOperation(int operation) {
  return operation >= WFSIM_QUERY_SESSION && operation <= WFSIM_FREE_MEMORY;
}

// Wakes the waits when a member that changed the state returns, while the
// lock is still held, so no waiter can miss the change.
class NotifyOnExit {
 public:
  explicit NotifyOnExit(std::condition_variable& changed) : changed_(changed) {}
  ~NotifyOnExit() { changed_.notify_all(); }
  NotifyOnExit(const NotifyOnExit&) = delete;
  NotifyOnExit& operator=(const NotifyOnExit&) = delete;

 private:
  std::condition_variable& changed_;
};

// A read of at most this many bytes copies them under the lock: the copy
// takes less time than letting the lock go and taking it again.
constexpr std::size_t kCopyUnderLock = 4096;

// The hot holders of the lock (a read, a client send's commit of one block)
// hold it for well under a microsecond; a thread that finds it taken tries
// again for a while before it sleeps, as sleeping and being woken costs two
// system calls, far more than the wait.
void LockSpinning(std::unique_lock<std::mutex>& hold) {
  constexpr int kTries = 200;
  for (int i = 0; i < kTries; ++i) {
    if (hold.try_lock()) return;
#if defined(__x86_64__) || defined(_M_X64)
    _mm_pause();
#endif
  }
  hold.lock();
}

// A read into the state after its end at exit: the crash a real platform
// library's read meets there, made certain.
[[noreturn]] void ReadAfterEnd() {
  std::fputs("wfapi64 simulator: a read after the state ended at exit\n",
             stderr);
  std::abort();
}

#if !defined(_WIN32)
constexpr char kEndAtExitVariable[] = "QVCTX_SIM_END_AT_EXIT";

// With QVCTX_SIM_END_AT_EXIT set at load, ends the state at exit. Built at
// load, so exit destroys it in the place a real platform library's static
// state has: after the exit handlers that libraries and hosts registered
// later, as a reader's start does.
class StateEndAtExit {
 public:
  StateEndAtExit() : asked_(!Setting(kEndAtExitVariable).empty()) {}
  ~StateEndAtExit() {
    if (asked_) Simulator::Instance().EndAtExit();
  }
  StateEndAtExit(const StateEndAtExit&) = delete;
  StateEndAtExit& operator=(const StateEndAtExit&) = delete;

 private:
  bool asked_;
};

const StateEndAtExit kStateEndAtExit;
#endif

}  // namespace

Simulator& Simulator::Instance() {
  static Simulator* const kInstance = new Simulator();
  return *kInstance;
}

void Simulator::EndAtExit() {
  std::unique_lock<std::mutex> hold(mutex_);
  ended_ = true;
  changed_.notify_all();
  // Not a wait for anything: the time a reader still running gets to come.
  changed_.wait_for(hold, kEndGrace, [] { return false; });
}

void Simulator::CountCall(int operation) { ++calls_[operation]; }

void Simulator::RecordWrite(std::uint32_t requested, std::uint32_t taken,
                            bool ok, std::uint32_t error) {
  writes_.push_back(WfSimWriteRecord{requested, taken, ok ? 1 : 0, error});
}

template <typename Predicate>
bool Simulator::WaitFor(std::uint32_t timeout_ms, Predicate done) {
  std::unique_lock<std::mutex> hold(mutex_);
  return changed_.wait_for(hold, std::chrono::milliseconds(timeout_ms), done);
}

Outcome Simulator::QuerySession(const void* server, std::uint32_t session,
                                int info_class, char** buffer,
                                std::uint32_t* bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_QUERY_SESSION);
  if (buffer == nullptr || bytes == nullptr || server != nullptr ||
      session != kCurrentSession || info_class != kSessionInfoClass) {
    return Failure(WFSIM_ERROR_INVALID_PARAMETER);
  }
  Countdown& fault = faults_[WFSIM_QUERY_SESSION];
  if (fault.Next()) return Failure(fault.error());
  const std::uint8_t info[kSessionInfoSize] = {
      static_cast<std::uint8_t>(ica_session_ ? 1 : 0), 0, 0, 0};
  void* const copy = buffers_.Allocate(info, sizeof(info));
  if (copy == nullptr) return Failure(WFSIM_ERROR_NOT_ENOUGH_MEMORY);
  *buffer = static_cast<char*>(copy);
  *bytes = static_cast<std::uint32_t>(sizeof(info));
  return kSuccess;
}

Outcome Simulator::Open(const void* server, std::uint32_t session,
                        const char* name, void** handle) {
  std::shared_ptr<ClientBridge> retired;  // destroyed after the lock is gone
  std::unique_lock<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_OPEN);
  if (name == nullptr || server != nullptr || session != kCurrentSession) {
    return Failure(WFSIM_ERROR_INVALID_PARAMETER);
  }
  if (std::strcmp(name, kChannelName) != 0) {
    return Failure(WFSIM_ERROR_FILE_NOT_FOUND);
  }
  Countdown& fault = faults_[WFSIM_OPEN];
  if (fault.Next()) return Failure(fault.error());
  if (client_away_) return Failure(WFSIM_ERROR_CONNECTION_REFUSED);
  StartRecordingIfAsked();
  const Outcome connected = ConnectClientIfAsked(&retired);
  if (!connected.ok) return connected;
  if (queued_connection_ != connection_) {
    // The first channel of a new connection: nothing of the last one is
    // read on it. A client send still copying into its room, or a read out
    // of the queue, finishes first.
    changed_.wait(hold, [&] { return !client_filling_ && !reading_; });
    client_.StartNewStream();
    queued_connection_ = connection_;
  }
  *handle = reinterpret_cast<void*>(handles_.Open(connection_));
  return kSuccess;
}

Outcome Simulator::CheckHandle(std::uintptr_t handle) const {
  if (!handles_.IsOpen(handle)) return Failure(WFSIM_ERROR_INVALID_HANDLE);
  if (IsCutOff(handle)) return Failure(WFSIM_ERROR_BROKEN_PIPE);
  return kSuccess;
}

void Simulator::StartRecordingIfAsked() {
  if (recording_checked_) return;
  recording_checked_ = true;
  const std::string prefix = Setting(kRecordVariable);
  if (prefix.empty()) return;
  std::string error;
  recorder_ = StreamRecorder::Open(prefix, &error);
  if (recorder_ == nullptr) {
    std::fprintf(stderr, "wfapi64 simulator: %s: no recording\n",
                 error.c_str());
    return;
  }
  client_.SetRecorder(recorder_.get());
}

Outcome Simulator::ConnectClientIfAsked(
    std::shared_ptr<ClientBridge>* retired) {
  const std::string address = Setting(kConnectVariable);
  if (address.empty()) return kSuccess;
  if (bridge_ != nullptr && bridge_->connected()) return kSuccess;
  // A connection that ended ends the client's connection, even before its
  // thread has said so (counting it twice does no harm).
  if (bridge_ != nullptr) ++connection_;
  *retired = std::move(bridge_);
  std::string error;
  std::unique_ptr<TcpStream> stream = TcpStream::Connect(address, &error);
  if (stream == nullptr) {
    std::fprintf(stderr, "wfapi64 simulator: no client at %s=%s: %s\n",
                 kConnectVariable, address.c_str(), error.c_str());
    return Failure(WFSIM_ERROR_CONNECTION_REFUSED);
  }
  bridge_ = std::make_shared<ClientBridge>(
      std::move(stream),
      [this](const ClientBridge* from, const std::uint8_t* data,
             std::size_t size) { FromRemoteClient(from, data, size); },
      [this](const ClientBridge* from) { RemoteClientEnded(from); });
  return kSuccess;
}

void Simulator::FromRemoteClient(const ClientBridge* from,
                                 const std::uint8_t* data, std::size_t size) {
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait(hold, [&] { return !client_filling_; });
  NotifyOnExit notify(changed_);
  // A connection being retired may still hand on a last piece; it belongs to
  // a stream that has ended.
  if (from != bridge_.get()) return;
  try {
    client_.Send(data, size);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr,
                 "wfapi64 simulator: %zu bytes of the client lost: "
                 "out of memory\n",
                 size);
  }
}

void Simulator::RemoteClientEnded(const ClientBridge* from) {
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  // The client process left: the channels open on its connection are cut
  // off. A retired connection ending belongs to no open channel.
  if (from == bridge_.get()) ++connection_;
}

int Simulator::BridgeStateLocked() const {
  if (bridge_ == nullptr) return WFSIM_BRIDGE_NONE;
  return bridge_->connected() ? WFSIM_BRIDGE_CONNECTED : WFSIM_BRIDGE_ENDED;
}

Outcome Simulator::Query(const void* channel, int virtual_class, void** buffer,
                         std::uint32_t* bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_QUERY);
  if (buffer == nullptr || bytes == nullptr) {
    return Failure(WFSIM_ERROR_INVALID_PARAMETER);
  }
  const Outcome usable = CheckHandle(HandleValue(channel));
  if (!usable.ok) return usable;
  if (virtual_class != kClientDataClass) {
    return Failure(WFSIM_ERROR_INVALID_PARAMETER);
  }
  Countdown& fault = faults_[WFSIM_QUERY];
  if (fault.Next()) return Failure(fault.error());
  const std::uint8_t data[kClientDataSize] = {};
  void* const copy = buffers_.Allocate(data, sizeof(data));
  if (copy == nullptr) return Failure(WFSIM_ERROR_NOT_ENOUGH_MEMORY);
  *buffer = copy;
  *bytes = static_cast<std::uint32_t>(sizeof(data));
  return kSuccess;
}

Outcome Simulator::Read(const void* channel, std::uint32_t timeout_ms,
                        char* buffer, std::uint32_t size, std::uint32_t* read) {
  std::unique_lock<std::mutex> hold(mutex_, std::defer_lock);
  LockSpinning(hold);
  NotifyOnExit notify(changed_);
  if (ended_) ReadAfterEnd();
  CountCall(WFSIM_READ);
  if (read == nullptr || (buffer == nullptr && size != 0)) {
    return Failure(WFSIM_ERROR_INVALID_PARAMETER);
  }
  const std::uintptr_t handle = HandleValue(channel);
  if (!handles_.IsOpen(handle)) return Failure(WFSIM_ERROR_INVALID_HANDLE);
  Countdown& fault = faults_[WFSIM_READ];
  if (fault.Next()) return Failure(fault.error());
  const std::uint64_t wait_ms =
      std::uint64_t{timeout_ms} * read_wait_percent_ / 100;
  if (wait_ms != 0 && !ignore_read_timeouts_ && client_.pending() == 0 &&
      !IsCutOff(handle)) {
    changed_.notify_all();  // the wait below releases the lock: show the call
    changed_.wait_for(hold, std::chrono::milliseconds(wait_ms), [&] {
      return ended_ || client_.pending() != 0 || !handles_.IsOpen(handle) ||
             IsCutOff(handle);
    });
    if (ended_) ReadAfterEnd();
    if (!handles_.IsOpen(handle)) return Failure(WFSIM_ERROR_INVALID_HANDLE);
  }
  // A client send still being copied in reads as if it were all there: a
  // read waits for a whole piece, or for the send's end, so it ends where it
  // would have ended had the send been queued at once.
  // One read copies at a time, so reads end in the order they took bytes.
  changed_.wait(hold, [&] {
    return !reading_ &&
           (!client_filling_ || client_.pending() >= client_.PieceFor(size));
  });
  // Like a pipe whose writer has gone: what the client sent before it left
  // is still read, then the reads fail.
  if (IsCutOff(handle) &&
      (client_.pending() == 0 ||
       queued_connection_ != handles_.ConnectionOf(handle))) {
    return Failure(WFSIM_ERROR_BROKEN_PIPE);
  }
  // A large read copies outside the lock: the queue's front does not move
  // meanwhile, and a client send goes on filling its back.
  auto* const out = reinterpret_cast<std::uint8_t*>(buffer);
  const BlockQueue::Span span = client_.BeginDeliver(size);
  if (span.count <= kCopyUnderLock) {
    BlockQueue::CopyOut(span, out);
  } else {
    reading_ = true;
    hold.unlock();
    BlockQueue::CopyOut(span, out);
    LockSpinning(hold);
    reading_ = false;
  }
  *read = static_cast<std::uint32_t>(client_.EndDeliver(span, out));
  return kSuccess;
}

Outcome Simulator::Write(const void* channel, const char* buffer,
                         std::uint32_t length, std::uint32_t* written) {
  std::unique_lock<std::mutex> hold(mutex_);
  // The built-in client's answers go to the server's queue: after a client
  // send in progress, never inside it.
  changed_.wait(hold, [&] { return !client_filling_; });
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_WRITE);
  Outcome outcome = kSuccess;
  if (written == nullptr || (buffer == nullptr && length != 0)) {
    outcome = Failure(WFSIM_ERROR_INVALID_PARAMETER);
  } else if (!handles_.IsOpen(HandleValue(channel))) {
    outcome = Failure(WFSIM_ERROR_INVALID_HANDLE);
  } else if (IsCutOff(HandleValue(channel))) {
    outcome = Failure(WFSIM_ERROR_BROKEN_PIPE);
  } else if (faults_[WFSIM_WRITE].Next()) {
    outcome = Failure(faults_[WFSIM_WRITE].error());
  } else if (bridge_ != nullptr && !bridge_->connected()) {
    outcome = Failure(WFSIM_ERROR_BROKEN_PIPE);
  }
  if (!outcome.ok) {
    RecordWrite(length, 0, false, outcome.error);
    return outcome;
  }
  std::uint32_t taken = 0;
  if (!zero_writes_.Next()) {
    taken = (write_cap_ != 0 && length > write_cap_) ? write_cap_ : length;
  }
  const auto* const bytes = reinterpret_cast<const std::uint8_t*>(buffer);
  if (bridge_ == nullptr) {
    client_.Receive(bytes, taken);
  } else if (taken != 0) {
    // Sent outside the lock: a client that is slow to read must not stop
    // the bytes it sends from reaching the server, nor the server's reads.
    const std::shared_ptr<ClientBridge> bridge = bridge_;
    StreamRecorder* const recorder = recorder_.get();
    hold.unlock();
    const bool sent = bridge->Send(bytes, taken, recorder);
    hold.lock();
    if (!sent) {
      RecordWrite(length, 0, false, WFSIM_ERROR_BROKEN_PIPE);
      return Failure(WFSIM_ERROR_BROKEN_PIPE);
    }
    client_.CountForwarded(taken);
  }
  RecordWrite(length, taken, true, 0);
  *written = taken;
  return kSuccess;
}

Outcome Simulator::Close(const void* channel) {
  std::shared_ptr<ClientBridge> retired;  // destroyed after the lock is gone
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_CLOSE);
  const std::uintptr_t handle = HandleValue(channel);
  if (!handles_.IsOpen(handle)) return Failure(WFSIM_ERROR_INVALID_HANDLE);
  Countdown& fault = faults_[WFSIM_CLOSE];
  if (fault.Next()) return Failure(fault.error());  // the handle stays open
  handles_.Close(handle);
  // The last channel closed ends the connection: the client process sees the
  // end of the stream and waits for the next session.
  if (handles_.count() == 0 && bridge_ != nullptr) {
    retired = std::move(bridge_);
    ++connection_;  // what the client left unread belongs to the old stream
  }
  return kSuccess;
}

void Simulator::FreeMemory(void* memory) {
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  CountCall(WFSIM_FREE_MEMORY);
  buffers_.Release(memory);
}

void Simulator::Reset() {
  std::shared_ptr<ClientBridge> retired;  // destroyed after the lock is gone
  std::unique_lock<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  // A client send copies into its room, and a read out of the queue,
  // outside the lock: the queue is emptied only once those copies are done.
  changed_.wait(hold, [&] { return !client_filling_ && !reading_; });
  retired = std::move(bridge_);
  handles_.CloseAll();
  buffers_.RetireAll();
  client_.Clear();
  calls_.fill(0);
  for (Countdown& fault : faults_) fault.Disarm();
  zero_writes_.Disarm();
  write_cap_ = 0;
  ignore_read_timeouts_ = false;
  read_wait_percent_ = 100;
  ica_session_ = true;
  queued_connection_ = connection_;
  client_away_ = false;
  std::vector<WfSimWriteRecord>().swap(writes_);
}

void Simulator::SetIcaSession(bool is_ica_session) {
  std::lock_guard<std::mutex> hold(mutex_);
  ica_session_ = is_ica_session;
}

void Simulator::SetClientConnected(bool connected) {
  std::shared_ptr<ClientBridge> retired;  // destroyed after the lock is gone
  std::lock_guard<std::mutex> hold(mutex_);
  NotifyOnExit notify(changed_);
  if (connected) {
    client_away_ = false;
    return;
  }
  if (client_away_) return;  // already away: nothing more to cut
  client_away_ = true;
  ++connection_;
  // A client process sees its connection end.
  retired = std::move(bridge_);
}

bool Simulator::SetNextHandle(std::uint64_t value) {
  std::lock_guard<std::mutex> hold(mutex_);
  return handles_.SetNext(static_cast<std::uintptr_t>(value));
}

std::uint32_t Simulator::OpenHandleCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<std::uint32_t>(handles_.count());
}

std::uint32_t Simulator::HeldBufferCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<std::uint32_t>(buffers_.held());
}

std::uint64_t Simulator::CallCount(int operation) {
  if (!ValidOperation(operation)) return 0;
  std::lock_guard<std::mutex> hold(mutex_);
  return calls_[operation];
}

bool Simulator::WaitForCalls(int operation, std::uint64_t count,
                             std::uint32_t timeout_ms) {
  if (!ValidOperation(operation)) return false;
  return WaitFor(timeout_ms, [&] { return calls_[operation] >= count; });
}

bool Simulator::FailCalls(int operation, std::uint32_t after_successes,
                          std::uint32_t count, std::uint32_t error_code) {
  if (!ValidOperation(operation) || operation == WFSIM_FREE_MEMORY) {
    return false;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  faults_[operation].Arm(after_successes, count, error_code);
  return true;
}

void Simulator::SetWriteCap(std::uint32_t max_bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  write_cap_ = max_bytes;
}

void Simulator::ZeroWrites(std::uint32_t after_successes, std::uint32_t count) {
  std::lock_guard<std::mutex> hold(mutex_);
  zero_writes_.Arm(after_successes, count, 0);
}

std::uint32_t Simulator::FaultsFired(int operation) {
  if (!ValidOperation(operation)) return 0;
  std::lock_guard<std::mutex> hold(mutex_);
  std::uint32_t fired = faults_[operation].fired();
  if (operation == WFSIM_WRITE) fired += zero_writes_.fired();
  return fired;
}

void Simulator::ClientSend(const std::uint8_t* data, std::size_t size) {
  // The bytes are copied outside the lock, a mebibyte at a time, and each
  // one is readable as soon as it is committed: a reader drains the front
  // while the rest is copied, and neither waits for the other's copy. Few
  // commits mean few meetings with a busy reader at the lock.
  constexpr std::size_t kBlock = std::size_t{1024} * 1024;
  if (size == 0) return;
  std::unique_lock<std::mutex> hold(mutex_);
  changed_.wait(hold, [&] { return !client_filling_; });
  BlockQueue::Fill fill = client_.ReserveSend(size);
  client_filling_ = true;
  for (std::size_t at = 0; at < size;) {
    const std::size_t block = std::min(kBlock, size - at);
    hold.unlock();
    fill.CopyIn(data + at, block);
    LockSpinning(hold);
    client_.CommitSend(&fill);
    at += block;
    if (at == size) {
      client_.ReleaseSend(&fill);
      client_filling_ = false;
    }
    changed_.notify_all();
  }
}

void Simulator::SetReadPieceSize(std::uint32_t max_bytes) {
  std::lock_guard<std::mutex> hold(mutex_);
  client_.SetPieceSize(max_bytes);
}

void Simulator::IgnoreReadTimeouts(bool on) {
  std::lock_guard<std::mutex> hold(mutex_);
  ignore_read_timeouts_ = on;
}

void Simulator::SetReadWaitShare(std::uint32_t percent) {
  std::lock_guard<std::mutex> hold(mutex_);
  read_wait_percent_ = percent < 100 ? percent : 100;
}

std::uint64_t Simulator::PendingReadBytes() {
  std::lock_guard<std::mutex> hold(mutex_);
  return client_.pending();
}

bool Simulator::WaitUntilRead(std::uint32_t timeout_ms) {
  return WaitFor(timeout_ms, [&] { return client_.pending() == 0; });
}

std::uint64_t Simulator::WrittenTotal() {
  std::lock_guard<std::mutex> hold(mutex_);
  return client_.written_total();
}

std::uint64_t Simulator::WrittenAvailable() {
  std::lock_guard<std::mutex> hold(mutex_);
  return client_.written_available();
}

std::uint32_t Simulator::TakeWritten(std::uint8_t* out,
                                     std::uint32_t capacity) {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<std::uint32_t>(client_.TakeWritten(out, capacity));
}

bool Simulator::WaitForWritten(std::uint64_t total, std::uint32_t timeout_ms) {
  return WaitFor(timeout_ms, [&] { return client_.written_total() >= total; });
}

std::uint32_t Simulator::WriteRecordCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return static_cast<std::uint32_t>(writes_.size());
}

bool Simulator::GetWriteRecord(std::uint32_t index, WfSimWriteRecord* record) {
  std::lock_guard<std::mutex> hold(mutex_);
  if (record == nullptr || index >= writes_.size()) return false;
  *record = writes_[index];
  return true;
}

void Simulator::SetBuiltInClient(bool on) {
  std::lock_guard<std::mutex> hold(mutex_);
  client_.SetBuiltInClient(on);
}

void Simulator::SetKeepWritten(bool on) {
  std::lock_guard<std::mutex> hold(mutex_);
  client_.SetKeepWritten(on);
}

std::uint32_t Simulator::AnsweredCount() {
  std::lock_guard<std::mutex> hold(mutex_);
  return client_.built_in().answered();
}

std::uint64_t Simulator::UnframedBytes() {
  std::lock_guard<std::mutex> hold(mutex_);
  return client_.built_in().unframed();
}

int Simulator::BridgeState() {
  std::lock_guard<std::mutex> hold(mutex_);
  return BridgeStateLocked();
}

bool Simulator::WaitForBridgeState(int state, std::uint32_t timeout_ms) {
  return WaitFor(timeout_ms, [&] { return BridgeStateLocked() == state; });
}

}  // namespace wfsim
