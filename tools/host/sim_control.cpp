#include "sim_control.h"

namespace qvctx_host {

std::string SimControl::Bind(const qvctx_port::SharedLibrary& library) {
  std::string missing;
  library.LookupInto("WfSimReset", &reset, &missing);
  library.LookupInto("WfSimSetBuiltInClient", &set_built_in_client, &missing);
  library.LookupInto("WfSimSetKeepWritten", &set_keep_written, &missing);
  library.LookupInto("WfSimClientSendEvent", &client_send_event, &missing);
  library.LookupInto("WfSimAnsweredCount", &answered_count, &missing);
  library.LookupInto("WfSimUnframedBytes", &unframed_bytes, &missing);
  library.LookupInto("WfSimSetClientConnected", &set_client_connected,
                     &missing);
  return missing;
}

}  // namespace qvctx_host
