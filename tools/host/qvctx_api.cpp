#include "qvctx_api.h"

namespace qvctx_host {

std::string QvctxApi::Bind(const qvctx_port::SharedLibrary& library) {
  std::string missing;
  library.LookupInto("ServerStartSession", &start_session, &missing);
  library.LookupInto("ServerCloseSession", &close_session, &missing);
  library.LookupInto("ServerRegisterEventCallBackFunction", &register_event,
                     &missing);
  library.LookupInto("ServerRegisterResultCallBackFunction", &register_result,
                     &missing);
  library.LookupInto("ServerRegisterFarFunction", &send_call, &missing);
  library.LookupInto("ServerSendBulkData", &send_bulk, &missing);
  library.LookupInto("ServerSessionLog", &session_log, &missing);
  library.LookupInto("ServerSessionFreeLog", &free_session_log, &missing);
  return missing;
}

std::string QvctxApi::FetchSessionLog() const {
  const char* text = session_log();
  std::string copy = text != nullptr ? text : "";
  free_session_log();
  return copy;
}

}  // namespace qvctx_host
