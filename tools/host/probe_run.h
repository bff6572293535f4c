// qvctx-host --probe: the first thing to run on a new server. It needs only
// qvctx and whatever platform library qvctx binds (the platform's own, a tap
// in front of it, or the simulator with its controls unused): it registers
// both callbacks, starts a session, listens for a given time, reports every
// event and result that arrived, and closes. With a package to send it
// proves a round trip: it sends the package and waits for the answer.
#ifndef QVCTX_TOOLS_HOST_PROBE_RUN_H_
#define QVCTX_TOOLS_HOST_PROBE_RUN_H_

#include <cstdint>
#include <string>
#include <vector>

#include "host_options.h"
#include "qvctx_api.h"

namespace qvctx_host {

// The exit code of a session that could not start: the channel did not
// open.
constexpr int kExitNoSession = 3;
// A probe's send failed.
constexpr int kExitSendFailed = 4;
// A probe's package got no answer in time.
constexpr int kExitNoAnswer = 5;

// The package in the file at `path`: one whole package as a host lays it
// out, header included (its datasize its length). Empty with `error` set
// when the file cannot be read or holds anything else.
std::vector<std::uint8_t> ReadPackageFile(const std::string& path,
                                          std::string* error);

// Runs the probe on the bound library and prints its report (text or JSON
// by `options`). `platform` names the platform library loaded first, or says
// that qvctx found its own. With `package` not empty it is sent once the
// session has started, and the probe waits up to options.probe_seconds for
// the first result. Returns 0, or kExitNoSession when the start failed,
// kExitSendFailed, kExitNoAnswer (the report says why).
int RunProbe(const HostOptions& options, const QvctxApi& api,
             const std::string& library, const std::string& platform,
             const std::vector<std::uint8_t>& package);

// The session log's error entries (those beginning "Error - "), joined by
// "; ": why a start failed, in the library's words.
std::string SessionLogErrors(const std::string& session_log);

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_PROBE_RUN_H_
