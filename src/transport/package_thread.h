// CPackageThread: the reader thread and the host's callbacks.
#ifndef QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
#define QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_

#include <cstdint>

#include "qvctx/qvctx.h"

namespace qvctx {

// ServerRegisterEventCallBackFunction / ServerRegisterResultCallBackFunction.
std::int32_t RegisterEventCallBack(PackageCallBack callback);
std::int32_t RegisterResultCallBack(PackageCallBack callback);

}  // namespace qvctx

#endif  // QVCTX_SRC_TRANSPORT_PACKAGE_THREAD_H_
