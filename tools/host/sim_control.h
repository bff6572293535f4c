// The simulator's control functions the sample host uses, looked up by name
// in the simulator loaded by path. The host loads it before qvctx's first
// ServerStartSession, so qvctx binds the very same simulator.
#ifndef QVCTX_TOOLS_HOST_SIM_CONTROL_H_
#define QVCTX_TOOLS_HOST_SIM_CONTROL_H_

#include <string>

#include "qvctx/wfapi64_sim.h"
#include "qvctx_port/shared_library.h"

namespace qvctx_host {

struct SimControl {
  decltype(&::WfSimReset) reset = nullptr;
  decltype(&::WfSimSetBuiltInClient) set_built_in_client = nullptr;
  decltype(&::WfSimSetKeepWritten) set_keep_written = nullptr;
  decltype(&::WfSimClientSendEvent) client_send_event = nullptr;
  decltype(&::WfSimAnsweredCount) answered_count = nullptr;
  decltype(&::WfSimUnframedBytes) unframed_bytes = nullptr;
  decltype(&::WfSimSetClientConnected) set_client_connected = nullptr;

  // Looks every function up in `library`; returns the names it lacks,
  // separated by blanks, or an empty string.
  std::string Bind(const qvctx_port::SharedLibrary& library);
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_SIM_CONTROL_H_
