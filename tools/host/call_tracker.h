// What the sample host expects back and what came: one slot per call and one
// for the bulk transfer, each with its size, send time and answer; the client
// events. The callbacks feed it on the library's reader thread while the
// sending threads mark their sends, so every member is safe from any thread.
#ifndef QVCTX_TOOLS_HOST_CALL_TRACKER_H_
#define QVCTX_TOOLS_HOST_CALL_TRACKER_H_

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace qvctx_host {

using Clock = std::chrono::steady_clock;

// A copy of the tracker's counts at one moment.
struct Tally {
  std::uint32_t calls_answered = 0;  // calls with at least one answer
  std::uint32_t calls_intact = 0;    // of them, answered intact exactly once
  bool bulk_answered = false;
  bool bulk_intact = false;
  std::uint32_t duplicates = 0;  // answers beyond a slot's first
  std::uint32_t damaged = 0;     // first answers that failed a check
  std::uint32_t strangers = 0;   // answers naming no package that was sent
  std::uint32_t events_received = 0;
  std::uint32_t events_unexpected = 0;    // not one of those the host queued
  std::uint64_t bytes_received = 0;       // answers and events
  std::vector<std::string> problems;      // the first few, in words
  std::vector<double> call_latencies_us;  // answered calls, send to answer
  double bulk_latency_us = 0;
  Clock::time_point last_arrival;  // of the latest answer or event
};

class CallTracker {
 public:
  // `call_sizes`: each call's total size; `bulk_size`: the bulk transfer's,
  // 0 for none. With `queued_events` above 0 events are checked against the
  // ones the host queued and awaited; otherwise any event is counted.
  CallTracker(std::vector<std::uint32_t> call_sizes, std::uint32_t bulk_size,
              std::uint32_t queued_events);
  CallTracker(const CallTracker&) = delete;
  CallTracker& operator=(const CallTracker&) = delete;

  std::uint32_t call_count() const;
  bool has_bulk() const { return bulk_size_ != 0; }
  std::uint32_t bulk_size() const { return bulk_size_; }
  std::uint32_t CallSize(std::uint32_t index) const;
  std::uint32_t CallMessageId(std::uint32_t index) const;
  std::uint32_t BulkMessageId() const;

  // Notes the send start of a call or of the bulk transfer; before the
  // library is asked to send, since the answer may come before it returns.
  void MarkCallSent(std::uint32_t index);
  void MarkBulkSent();

  // The result callback's and the event callback's work.
  void OnAnswer(const std::uint8_t* package, std::uint32_t length);
  void OnEvent(const std::uint8_t* package, std::uint32_t length);

  // Waits until every package marked sent has been answered and every queued
  // event has arrived, or until `until`. True when all is there.
  bool WaitForAll(Clock::time_point until);

  // The counts now; the calls' latencies only `with_latencies`.
  Tally Snapshot(bool with_latencies = true) const;

 private:
  // One package the host sends.
  struct Slot {
    std::uint32_t size = 0;     // total bytes, header included
    bool sent = false;          // MarkSent was called
    Clock::time_point sent_at;  // send start
    std::uint32_t answers = 0;  // answers seen
    bool intact = false;        // the first answer passed every check
    double latency_us = 0;      // send start to first answer
  };

  void MarkSent(std::uint32_t slot);
  void Problem(const std::string& text);  // needs mutex_
  bool AllThere() const;                  // needs mutex_

  const std::uint32_t bulk_size_;
  const std::uint32_t queued_events_;
  mutable std::mutex mutex_;  // guards everything below
  std::condition_variable arrived_;
  std::vector<Slot> slots_;  // the calls, then the bulk transfer
  std::uint32_t sent_ = 0;
  std::uint32_t answered_ = 0;  // slots with an answer
  std::vector<bool> event_seen_;
  Tally tally_;  // the counts; latencies are gathered by Snapshot()
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_CALL_TRACKER_H_
