// qvctx-host --probe: the first thing to run on a new server. It needs only
// qvctx and whatever platform library qvctx binds (the platform's own, a tap
// in front of it, or the simulator with its controls unused): it registers
// both callbacks, starts a session, listens for a given time, reports every
// event and result that arrived, and closes.
#ifndef QVCTX_TOOLS_HOST_PROBE_RUN_H_
#define QVCTX_TOOLS_HOST_PROBE_RUN_H_

#include <string>

#include "host_options.h"
#include "qvctx_api.h"

namespace qvctx_host {

// The exit code of a session that could not start.
constexpr int kExitNoSession = 3;

// Runs the probe on the bound library and prints its report (text or JSON
// by `options`). `platform` names the platform library loaded first, or says
// that qvctx found its own. Returns 0, or kExitNoSession when the start
// failed (the report says why).
int RunProbe(const HostOptions& options, const QvctxApi& api,
             const std::string& library, const std::string& platform);

// The session log's error entries (those beginning "Error - "), joined by
// "; ": why a start failed, in the library's words.
std::string SessionLogErrors(const std::string& session_log);

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_PROBE_RUN_H_
