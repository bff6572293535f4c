#include "demo_run.h"

#include <algorithm>
#include <thread>
#include <vector>

#include "demo_package.h"
#include "progress_line.h"

namespace qvctx_host {

namespace {

// How often the progress line is redrawn while the host waits.
constexpr std::chrono::milliseconds kTick(100);

}  // namespace

DemoRun::DemoRun(const HostOptions& options, const QvctxApi& api,
                 const SimControl& sim, bool queue_events, CallTracker* tracker)
    : options_(options),
      api_(api),
      sim_(sim),
      queue_events_(queue_events),
      tracker_(tracker) {}

RunOutcome DemoRun::Run() {
  ProgressLine progress;
  const Clock::time_point began = Clock::now();
  senders_running_ = options_.threads;
  std::vector<std::thread> senders;
  for (std::uint32_t t = 0; t < options_.threads; ++t) {
    senders.emplace_back([this] { SendCalls(); });
  }
  // With no calls to spread them over, the events go out at once.
  if (queue_events_ && tracker_->call_count() == 0) {
    QueueEvents(0, options_.events);
  }
  if (tracker_->has_bulk()) SendBulk();
  {
    std::unique_lock<std::mutex> hold(mutex_);
    while (!senders_done_.wait_for(hold, kTick,
                                   [this] { return senders_running_ == 0; })) {
      hold.unlock();
      progress.Show(Progress());
      hold.lock();
    }
  }
  for (std::thread& sender : senders) sender.join();

  RunOutcome outcome;
  const auto timeout = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(options_.timeout_seconds));
  const Clock::time_point deadline = Clock::now() + timeout;
  if (!stop_) {
    while (!(outcome.complete = tracker_->WaitForAll(
                 std::min(deadline, Clock::now() + kTick))) &&
           Clock::now() < deadline) {
      progress.Show(Progress());
    }
  }
  progress.Clear();

  const Tally tally = tracker_->Snapshot(false);
  const Clock::time_point end = outcome.complete && tally.last_arrival > began
                                    ? tally.last_arrival
                                    : Clock::now();
  outcome.seconds = std::chrono::duration<double>(end - began).count();
  outcome.calls_sent = calls_sent_;
  outcome.events_queued = events_queued_;
  outcome.bytes_sent = bytes_sent_;
  outcome.bulk_sent = bulk_sent_;
  std::lock_guard<std::mutex> hold(mutex_);
  outcome.send_failure = failure_;
  return outcome;
}

void DemoRun::SendCalls() {
  const std::uint32_t calls = tracker_->call_count();
  std::vector<std::uint8_t> package;
  while (!stop_) {
    const std::uint32_t index = next_call_++;
    if (index >= calls) break;
    if (queue_events_) {
      // Spread the events evenly over the calls: the ones due from this
      // call up to the next.
      const std::uint64_t events = options_.events;
      QueueEvents(
          static_cast<std::uint32_t>((index * events + calls - 1) / calls),
          static_cast<std::uint32_t>(((index + 1) * events + calls - 1) /
                                     calls));
    }
    const std::uint32_t message_id = tracker_->CallMessageId(index);
    LayOutCall(message_id, tracker_->CallSize(index), &package);
    tracker_->MarkCallSent(index);
    if (api_.send_call(package.data(),
                       static_cast<std::int32_t>(package.size())) != 0) {
      Fail("ServerRegisterFarFunction failed for call " +
           std::to_string(index) + " (" + std::to_string(package.size()) +
           " bytes)");
      break;
    }
    ++calls_sent_;
    bytes_sent_ += package.size();
  }
  std::lock_guard<std::mutex> hold(mutex_);
  if (--senders_running_ == 0) senders_done_.notify_all();
}

void DemoRun::QueueEvents(std::uint32_t from, std::uint32_t to) {
  for (std::uint32_t k = from; k < to && !stop_; ++k) {
    const std::string payload = EventPayload(k);
    if (sim_.client_send_event(EventMessageId(k), payload.data(),
                               static_cast<std::uint32_t>(payload.size())) !=
        0) {
      Fail("WfSimClientSendEvent failed for event " + std::to_string(k));
      return;
    }
    ++events_queued_;
  }
}

void DemoRun::SendBulk() {
  std::vector<std::uint8_t> package;
  LayOutBulk(tracker_->BulkMessageId(), tracker_->bulk_size(), &package);
  tracker_->MarkBulkSent();
  if (api_.send_bulk(package.data(),
                     static_cast<std::uint32_t>(package.size())) != 0) {
    Fail("ServerSendBulkData failed for the bulk transfer (" +
         std::to_string(package.size()) + " bytes)");
    return;
  }
  bytes_sent_ += package.size();
  bulk_sent_ = true;
}

void DemoRun::Fail(const std::string& what) {
  stop_ = true;
  std::lock_guard<std::mutex> hold(mutex_);
  if (failure_.empty()) failure_ = what;
}

std::string DemoRun::Progress() const {
  const Tally tally = tracker_->Snapshot(false);
  std::string text = "calls " + std::to_string(calls_sent_.load()) + "/" +
                     std::to_string(tracker_->call_count()) + " answered " +
                     std::to_string(tally.calls_answered);
  if (tracker_->has_bulk()) {
    text += tally.bulk_answered ? ", bulk answered" : ", bulk pending";
  }
  return text + ", events " + std::to_string(tally.events_received);
}

}  // namespace qvctx_host
