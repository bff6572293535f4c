// qvctx's exports as the sample host uses them: looked up by name in the
// library loaded by path, typed by the public header's declarations.
#ifndef QVCTX_TOOLS_HOST_QVCTX_API_H_
#define QVCTX_TOOLS_HOST_QVCTX_API_H_

#include <string>

#include "host_library.h"
#include "qvctx/qvctx.h"

namespace qvctx_host {

struct QvctxApi {
  decltype(&::ServerStartSession) start_session = nullptr;
  decltype(&::ServerCloseSession) close_session = nullptr;
  decltype(&::ServerRegisterEventCallBackFunction) register_event = nullptr;
  decltype(&::ServerRegisterResultCallBackFunction) register_result = nullptr;
  decltype(&::ServerRegisterFarFunction) send_call = nullptr;
  decltype(&::ServerSendBulkData) send_bulk = nullptr;
  decltype(&::ServerSessionLog) session_log = nullptr;
  decltype(&::ServerSessionFreeLog) free_session_log = nullptr;

  // Looks every function up in `library`; returns the names it lacks,
  // separated by blanks, or an empty string.
  std::string Bind(const HostLibrary& library);

  // ServerSessionLog's text, given back at once with ServerSessionFreeLog.
  std::string FetchSessionLog() const;
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_QVCTX_API_H_
