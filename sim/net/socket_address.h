// The system's form of an "A.B.C.D:PORT" address, for the two socket files.
#ifndef QVCTX_SIM_NET_SOCKET_ADDRESS_H_
#define QVCTX_SIM_NET_SOCKET_ADDRESS_H_

#include <string>

struct sockaddr_in;

namespace wfsim {

// `text` (as ParseTcpAddress reads it) into `*out`; false, with `*error`
// saying why, when it is no such address.
bool MakeAddress(const std::string& text, sockaddr_in* out, std::string* error);

}  // namespace wfsim

#endif  // QVCTX_SIM_NET_SOCKET_ADDRESS_H_
