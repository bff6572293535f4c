// ServerStartSession and ServerCloseSession, and the callback registrations
// as the exports reach them.
#ifndef QVCTX_SRC_MODULE_SESSION_H_
#define QVCTX_SRC_MODULE_SESSION_H_

#include <cstddef>
#include <cstdint>

#include "qvctx/qvctx.h"

namespace qvctx {

// Checks the ICA session, opens the channel "qvctx", queries the client data,
// allocates the read buffer and starts the reader. 0 started, 1 failed.
std::int32_t StartSession();

// Stops the reader, releases the platform buffers, closes the channel, frees
// the read buffer and ends the log writer. Every step runs; the first that
// failed (no memory for a log line) is logged before the writer ends, as the
// export would report it. Returns exitcode. A reader that closed its own
// session is never waited for, here or in the start.
std::int32_t CloseSession();

// ServerRegisterEventCallBackFunction / ServerRegisterResultCallBackFunction.
std::int32_t RegisterEventCallBack(PackageCallBack callback);
std::int32_t RegisterResultCallBack(PackageCallBack callback);

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_SESSION_H_
