// ServerRegisterFarFunction and ServerSendBulkData.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_

#include <cstdint>

namespace qvctx {

std::int32_t SendFarFunction(const void* package, std::int32_t length);
std::int32_t SendBulkData(const void* data, std::uint32_t length);

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_SENDER_H_
