#include "module/export_guard.h"

#include "diagnostics/log_file.h"
#include "module/messages.h"

namespace qvctx {

void ReportEscapedException(const char* export_name,
                            const char* what) noexcept {
  try {
    GetLogFile()->LogError(kEscapedExceptionFormat, export_name, what);
  } catch (...) {
    // The writer itself cannot be had: the result code is all that is left.
  }
}

}  // namespace qvctx
