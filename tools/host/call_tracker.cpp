#include "call_tracker.h"

#include <cstring>

#include "demo_package.h"
#include "host_options.h"
#include "protocol/wire_format.h"

namespace qvctx_host {

namespace {

// Enough to say what went wrong without flooding the summary.
constexpr std::size_t kProblemsKept = 5;

double MicrosecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::micro>(to - from).count();
}

}  // namespace

CallTracker::CallTracker(std::vector<std::uint32_t> call_sizes,
                         std::uint32_t bulk_size, std::uint32_t queued_events)
    : bulk_size_(bulk_size),
      queued_events_(queued_events),
      slots_(call_sizes.size() + (bulk_size != 0 ? 1 : 0)),
      event_seen_(queued_events, false) {
  for (std::size_t i = 0; i < call_sizes.size(); ++i) {
    slots_[i].size = call_sizes[i];
  }
  if (bulk_size != 0) slots_.back().size = bulk_size;
}

std::uint32_t CallTracker::call_count() const {
  return static_cast<std::uint32_t>(slots_.size()) - (has_bulk() ? 1 : 0);
}

std::uint32_t CallTracker::CallSize(std::uint32_t index) const {
  return slots_[index].size;
}

std::uint32_t CallTracker::CallMessageId(std::uint32_t index) const {
  return SlotMessageId(index, false);
}

std::uint32_t CallTracker::BulkMessageId() const {
  return SlotMessageId(call_count(), true);
}

void CallTracker::MarkCallSent(std::uint32_t index) { MarkSent(index); }

void CallTracker::MarkBulkSent() { MarkSent(call_count()); }

void CallTracker::MarkSent(std::uint32_t slot) {
  const Clock::time_point now = Clock::now();
  std::lock_guard<std::mutex> hold(mutex_);
  slots_[slot].sent = true;
  slots_[slot].sent_at = now;
  ++sent_;
}

void CallTracker::OnAnswer(const std::uint8_t* package, std::uint32_t length) {
  const Clock::time_point now = Clock::now();
  const std::uint32_t message_id =
      length >= qvctx::kPackageHeadSize
          ? qvctx::LoadLe32(package + qvctx::kMessageIdOffset)
          : 0;
  const std::uint32_t slot = SlotOfMessageId(message_id);
  const bool known =
      message_id != 0 && slot < slots_.size() &&
      SlotMessageId(slot, has_bulk() && slot == call_count()) == message_id;
  // The byte checks run outside the lock: the sizes never change and the
  // pattern needs no copy of what was sent.
  const std::string problem =
      known ? AnswerProblem(package, length, message_id, slots_[slot].size)
            : std::string();

  std::lock_guard<std::mutex> hold(mutex_);
  tally_.bytes_received += length;
  tally_.last_arrival = now;
  if (!known || !slots_[slot].sent) {
    ++tally_.strangers;
    Problem("an answer with messageID " + std::to_string(message_id) +
            " that names nothing sent");
    return;
  }
  Slot& answered = slots_[slot];
  const bool bulk = has_bulk() && slot == call_count();
  const std::string what =
      bulk ? std::string("the bulk transfer") : "call " + std::to_string(slot);
  if (++answered.answers > 1) {
    ++tally_.duplicates;
    if (answered.intact) {
      answered.intact = false;
      if (!bulk) --tally_.calls_intact;
    }
    Problem(what + " answered more than once");
    return;
  }
  ++answered_;
  answered.latency_us = MicrosecondsBetween(answered.sent_at, now);
  answered.intact = problem.empty();
  if (!answered.intact) {
    ++tally_.damaged;
    Problem(what + " answered with " + problem);
  }
  if (!bulk) {
    ++tally_.calls_answered;
    if (answered.intact) ++tally_.calls_intact;
  }
  if (AllThere()) arrived_.notify_all();
}

void CallTracker::OnEvent(const std::uint8_t* package, std::uint32_t length) {
  const Clock::time_point now = Clock::now();
  bool expected = queued_events_ == 0;  // any event counts without a list
  std::uint32_t k = 0;
  if (queued_events_ != 0 && length >= qvctx::kPackageHeadSize) {
    const std::uint32_t message_id =
        qvctx::LoadLe32(package + qvctx::kMessageIdOffset);
    k = SlotOfMessageId(message_id);
    if (message_id != 0 && k < queued_events_ &&
        EventMessageId(k) == message_id &&
        qvctx::LoadLe16(package + qvctx::kFncTypOffset) == qvctx::kEventType) {
      const std::string payload = EventPayload(k);
      expected = length == qvctx::kPackageHeadSize + payload.size() &&
                 std::memcmp(package + qvctx::kPackageHeadSize, payload.data(),
                             payload.size()) == 0;
    }
  }
  std::lock_guard<std::mutex> hold(mutex_);
  tally_.bytes_received += length;
  tally_.last_arrival = now;
  ++tally_.events_received;
  if (queued_events_ != 0) {
    if (!expected || event_seen_[k]) {
      ++tally_.events_unexpected;
      Problem("a client event the host did not queue, or one twice");
    } else {
      event_seen_[k] = true;
    }
  }
  if (AllThere()) arrived_.notify_all();
}

bool CallTracker::WaitForAll(Clock::time_point until) {
  std::unique_lock<std::mutex> hold(mutex_);
  return arrived_.wait_until(hold, until, [this] { return AllThere(); });
}

bool CallTracker::AllThere() const {
  return answered_ >= sent_ && tally_.events_received >= queued_events_;
}

void CallTracker::Problem(const std::string& text) {
  if (tally_.problems.size() < kProblemsKept) tally_.problems.push_back(text);
}

Tally CallTracker::Snapshot(bool with_latencies) const {
  std::lock_guard<std::mutex> hold(mutex_);
  Tally copy = tally_;
  const std::uint32_t calls = call_count();
  if (with_latencies) copy.call_latencies_us.reserve(copy.calls_answered);
  for (std::uint32_t i = 0; with_latencies && i < calls; ++i) {
    if (slots_[i].answers > 0) {
      copy.call_latencies_us.push_back(slots_[i].latency_us);
    }
  }
  if (has_bulk()) {
    const Slot& bulk = slots_.back();
    copy.bulk_answered = bulk.answers > 0;
    copy.bulk_intact = bulk.answers == 1 && bulk.intact;
    copy.bulk_latency_us = bulk.latency_us;
  }
  return copy;
}

}  // namespace qvctx_host
