// qvctx's exports as the sample host uses them: looked up by name in the
// library loaded by path, typed by the public header's PFN_ types.
#ifndef QVCTX_TOOLS_HOST_QVCTX_API_H_
#define QVCTX_TOOLS_HOST_QVCTX_API_H_

#include <string>

#include "qvctx/qvctx.h"
#include "qvctx_port/shared_library.h"

namespace qvctx_host {

struct QvctxApi {
  PFN_ServerStartSession start_session = nullptr;
  PFN_ServerCloseSession close_session = nullptr;
  PFN_ServerRegisterEventCallBackFunction register_event = nullptr;
  PFN_ServerRegisterResultCallBackFunction register_result = nullptr;
  PFN_ServerRegisterFarFunction send_call = nullptr;
  PFN_ServerSendBulkData send_bulk = nullptr;
  PFN_ServerSessionLog session_log = nullptr;
  PFN_ServerSessionFreeLog free_session_log = nullptr;

  // Looks every function up in `library`; returns the names it lacks,
  // separated by blanks, or an empty string.
  std::string Bind(const qvctx_port::SharedLibrary& library);

  // ServerSessionLog's text, given back at once with ServerSessionFreeLog.
  std::string FetchSessionLog() const;
};

}  // namespace qvctx_host

#endif  // QVCTX_TOOLS_HOST_QVCTX_API_H_
