// One run of the sample host inside an open session: the sending threads
// share the calls, the main thread sends the bulk transfer meanwhile, client
// events are queued while the calls run, then the run waits for the answers
// and shows its progress.
#ifndef QVCTX_TOOLS_HOST_DEMO_RUN_H_
#define QVCTX_TOOLS_HOST_DEMO_RUN_H_

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "call_tracker.h"
#include "host_options.h"
#include "qvctx_api.h"
#include "sim_control.h"

namespace qvctx_host {

// What the sending side did.
struct RunOutcome {
  std::uint32_t calls_sent = 0;  // calls the library took (result 0)
  bool bulk_sent = false;
  std::uint32_t events_queued = 0;
  std::uint64_t bytes_sent = 0;
  std::string send_failure;  // the first failed export call, in words
  bool complete = false;     // everything awaited arrived before the timeout
  double seconds = 0;        // first send to the last arrival (or the end)
};

class DemoRun {
 public:
  // With `queue_events` the host asks the simulator to send the client
  // events (the built-in client); the tracker must outlive the run.
  DemoRun(const HostOptions& options, const QvctxApi& api,
          const SimControl& sim, bool queue_events, CallTracker* tracker);
  DemoRun(const DemoRun&) = delete;
  DemoRun& operator=(const DemoRun&) = delete;

  // Sends everything and waits for the answers; returns when all arrived,
  // a send failed, or the timeout after the last send ran out.
  RunOutcome Run();

 private:
  void SendCalls();  // one sending thread
  void QueueEvents(std::uint32_t from, std::uint32_t to);
  void SendBulk();
  void Fail(const std::string& what);
  std::string Progress() const;

  const HostOptions& options_;
  const QvctxApi& api_;
  const SimControl& sim_;
  const bool queue_events_;
  CallTracker* const tracker_;

  std::atomic<std::uint32_t> next_call_{0};  // the next call a thread takes
  std::atomic<std::uint32_t> calls_sent_{0};
  std::atomic<std::uint32_t> events_queued_{0};
  std::atomic<std::uint64_t> bytes_sent_{0};
  std::atomic<bool> bulk_sent_{false};
  std::atomic<bool> stop_{false};  // a send failed: every thread stops

  std::mutex mutex_;  // guards the two below
  std::condition_variable senders_done_;
  std::uint32_t senders_running_ = 0;
  std::string failure_;
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_DEMO_RUN_H_
