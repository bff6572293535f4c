// Keeps every exception inside the library: each exported function runs its
// body through GuardExport, which turns an escaping exception into the
// export's failure result and, where the log writer can be had, an error line.
// Before the body it completes the load: the first call reads the
// configuration (ReadConfigurationOnce).
#ifndef QVCTX_SRC_MODULE_EXPORT_GUARD_H_
#define QVCTX_SRC_MODULE_EXPORT_GUARD_H_

#include <exception>
#include <utility>

#include "module/configuration.h"
#include "module/messages.h"

namespace qvctx {

// Logs "<export>:: <what>" at error level; never throws.
void ReportEscapedException(const char* export_name, const char* what) noexcept;

template <typename Result, typename Body>
Result GuardExport(const char* export_name, Result failure,
                   Body&& body) noexcept {
  ReadConfigurationOnce();
  try {
    return std::forward<Body>(body)();
  } catch (const std::exception& error) {
    ReportEscapedException(export_name, error.what());
  } catch (...) {
    ReportEscapedException(export_name, kUnknownException);
  }
  return failure;
}

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_EXPORT_GUARD_H_
