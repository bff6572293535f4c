// The tap's state: the platform's library it forwards to, and the recording
// of the "qvctx" channels opened through it.
#ifndef QVCTX_TOOLS_TAP_TAP_H_
#define QVCTX_TOOLS_TAP_TAP_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "protocol/platform_operations.h"
#include "qvctx_port/shared_library.h"
#include "wfsim/recording/stream_recorder.h"

namespace qvtap {

class Tap {
 public:
  // The process's one tap.
  static Tap& Get();

  // The target's operations; null when the target cannot be used (the
  // reason said once). Loads it at the first call.
  const qvctx::WfApiTable* Target();

  // A channel the target opened, under `name`; "qvctx" channels are
  // recorded from now on when a prefix is set, into this process's own
  // recording (the first one creates it; later ones append).
  void Opened(void* handle, const char* name);
  // A channel the target closed.
  void Closed(void* handle);
  // Records what moved on `handle`, when it is a recorded channel.
  void Moved(void* handle, wfsim::StreamRecorder::Direction direction,
             const char* data, std::uint32_t size);

 private:
  Tap() = default;
  void Load();
  // Says why the target cannot be used.
  void Refuse(const std::string& why);

  std::once_flag loaded_;
  // The platform's library; it stays loaded for the rest of the process
  // (the tap is never destroyed), as the host may still hold what it handed
  // out.
  qvctx_port::SharedLibrary target_;
  qvctx::WfApiTable table_{};
  bool usable_ = false;
  std::string record_prefix_;

  std::mutex mutex_;             // guards what follows
  std::vector<void*> recorded_;  // open "qvctx" channels
  bool recorder_tried_ = false;  // the recording was set up once
  std::unique_ptr<wfsim::StreamRecorder> recorder_;
};

}  // namespace qvtap

#endif  // QVCTX_TOOLS_TAP_TAP_H_
