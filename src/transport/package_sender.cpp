#include "transport/package_sender.h"

namespace qvctx {

// Not built yet: nothing is sent.
std::int32_t SendFarFunction(const void* /*package*/, std::int32_t /*length*/) {
  return 1;
}

std::int32_t SendBulkData(const void* /*data*/, std::uint32_t /*length*/) {
  return 1;
}

}  // namespace qvctx
