#include "tap.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "qvctx_port/process.h"
#include "tap_settings.h"
#include "tap_system.h"

namespace qvtap {

namespace {

constexpr char kChannelName[] = "qvctx";

// Names tried for one process's recording before it gives up: files left by
// earlier processes of the same id take the first ones.
constexpr std::uint32_t kMostNameAttempts = 100;

// Creates this process's recording under `prefix`, at the first of its
// names (wfsim::ProcessRecordingPrefix) that no file has yet, so that no
// other process's recording is ever emptied or shared; null with `error`.
std::unique_ptr<wfsim::StreamRecorder> OpenProcessRecording(
    const std::string& prefix, std::string* error) {
  wfsim::RecordingProcess process;
  process.process_id = qvctx_port::ProcessId();
  process.has_session = qvctx_port::SessionId(&process.session_id);
  for (std::uint32_t attempt = 1; attempt <= kMostNameAttempts; ++attempt) {
    bool taken = false;
    std::unique_ptr<wfsim::StreamRecorder> recorder =
        wfsim::StreamRecorder::CreateNew(
            wfsim::ProcessRecordingPrefix(prefix, process, attempt), error,
            &taken);
    if (recorder != nullptr || !taken) return recorder;
  }
  *error = "every name from " +
           wfsim::ProcessRecordingPrefix(prefix, process, 1) + " to " +
           wfsim::ProcessRecordingPrefix(prefix, process, kMostNameAttempts) +
           " is taken";
  return nullptr;
}

}  // namespace

Tap& Tap::Get() {
  static Tap* const kTap = new Tap();  // never destroyed: the host may call
                                       // in while the process ends
  return *kTap;
}

const qvctx::WfApiTable* Tap::Target() {
  std::call_once(loaded_, [this] { Load(); });
  return usable_ ? &table_ : nullptr;
}

void Tap::Load() {
  const TapSettings settings = ResolveSettings(qvctx_port::OwnModulePath());
  record_prefix_ = settings.record;
  if (settings.target.empty()) {
    Refuse(std::string("no platform library named: set ") + kTargetVariable +
           " or \"target\" in " + kIniName + " beside the tap");
    return;
  }
  // The full path alone: the folder's other libraries are found beside it,
  // never the tap beside the host.
  if (!target_.Open(settings.target,
                    qvctx_port::SharedLibrary::Search::kBesideLibrary)) {
    Refuse("cannot load " + settings.target + ": " + target_.error());
    return;
  }
  std::string missing;  // every name the target lacks
  qvctx::ResolveWfApi(
      [&](const char* name) {
        void* const address = target_.Symbol(name);
        if (address == nullptr)
          missing += (missing.empty() ? "" : " ") + std::string(name);
        return address;
      },
      &table_);
  if (table_.WFVirtualChannelOpen != nullptr &&
      qvctx_port::IsInOwnModule(
          reinterpret_cast<const void*>(table_.WFVirtualChannelOpen))) {
    Refuse(settings.target + " is the tap itself, not the platform's library");
    return;
  }
  if (!missing.empty()) {
    Refuse(settings.target + " lacks " + missing);
    return;
  }
  usable_ = true;
}

void Tap::Refuse(const std::string& why) {
  const std::string text = "qvctx-tap: " + why +
                           "; every operation fails with error 126 (the "
                           "platform's library is missing)";
  Announce(text);
  if (record_prefix_.empty()) return;
  const std::string path = record_prefix_ + ".tap-error.txt";
  std::FILE* const file = std::fopen(path.c_str(), "w");
  if (file == nullptr) return;
  std::fprintf(file, "%s\n", text.c_str());
  std::fclose(file);
}

void Tap::Opened(void* handle, const char* name) {
  if (record_prefix_.empty() || handle == nullptr || name == nullptr ||
      std::strcmp(name, kChannelName) != 0) {
    return;
  }
  std::lock_guard<std::mutex> hold(mutex_);
  if (!recorder_tried_) {
    recorder_tried_ = true;
    std::string error;
    recorder_ = OpenProcessRecording(record_prefix_, &error);
    if (recorder_ == nullptr) {
      Announce("qvctx-tap: not recording: " + error);
    }
  }
  if (recorder_ != nullptr) recorded_.push_back(handle);
}

void Tap::Closed(void* handle) {
  std::lock_guard<std::mutex> hold(mutex_);
  const auto found = std::find(recorded_.begin(), recorded_.end(), handle);
  if (found != recorded_.end()) recorded_.erase(found);
}

void Tap::Moved(void* handle, wfsim::StreamRecorder::Direction direction,
                const char* data, std::uint32_t size) {
  if (size == 0 || data == nullptr || record_prefix_.empty()) return;
  std::lock_guard<std::mutex> hold(mutex_);
  if (std::find(recorded_.begin(), recorded_.end(), handle) ==
      recorded_.end()) {
    return;
  }
  recorder_->Record(direction, reinterpret_cast<const std::uint8_t*>(data),
                    size);
}

}  // namespace qvtap
