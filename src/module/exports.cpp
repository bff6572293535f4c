// The thirteen exported functions. Each runs its body through GuardExport so
// that no exception ever reaches the host, and each first completes the load
// (the configuration is read at the first of them).
#include <cstdint>

#include "diagnostics/log_file.h"
#include "diagnostics/session_log.h"
#include "module/configuration.h"
#include "module/export_guard.h"
#include "module/messages.h"
#include "module/module.h"
#include "qvctx/qvctx.h"

namespace {

constexpr std::int32_t kFailure = 1;

// The shape of the informational entry points: one line, result 0.
template <typename Write>
std::int32_t Inform(const char* name, Write write) {
  return qvctx::GuardExport(name, kFailure, [&] {
    write(*qvctx::GetLogFile());
    return std::int32_t{0};
  });
}

}  // namespace

extern "C" {

QVCTX_API int32_t ServerStartSession(void) {
  return qvctx::GuardExport("ServerStartSession", kFailure,
                            [] { return qvctx::TheModule().StartSession(); });
}

QVCTX_API int32_t ServerCloseSession(void) {
  return qvctx::GuardExport("ServerCloseSession",
                            qvctx::TheModule().LastResult(),
                            [] { return qvctx::TheModule().CloseSession(); });
}

QVCTX_API int32_t
ServerRegisterEventCallBackFunction(PackageCallBack callback) {
  return qvctx::GuardExport(
      "ServerRegisterEventCallBackFunction", kFailure,
      [&] { return qvctx::TheModule().RegisterEventCallBack(callback); });
}

QVCTX_API int32_t
ServerRegisterResultCallBackFunction(PackageCallBack callback) {
  return qvctx::GuardExport(
      "ServerRegisterResultCallBackFunction", kFailure,
      [&] { return qvctx::TheModule().RegisterResultCallBack(callback); });
}

QVCTX_API int32_t ServerRegisterFarFunction(const void* package,
                                            int32_t length) {
  return qvctx::GuardExport("ServerRegisterFarFunction", kFailure, [&] {
    return qvctx::TheModule().SendFarFunction(package, length);
  });
}

QVCTX_API int32_t ServerSendBulkData(const void* data, uint32_t length) {
  return qvctx::GuardExport("ServerSendBulkData", kFailure, [&] {
    return qvctx::TheModule().SendBulkData(data, length);
  });
}

QVCTX_API const char* ServerSessionLog(void) {
  return qvctx::GuardExport("ServerSessionLog", qvctx::kSessionLogUnavailable,
                            [] { return qvctx::FetchSessionLog(); });
}

QVCTX_API void ServerSessionFreeLog(void) {
  qvctx::ReadConfigurationOnce();
  qvctx::FreeSessionLog();
}

QVCTX_API int32_t ServerGetLastError(void) {
  return Inform("ServerGetLastError",
                [](qvctx::CLogFile& log) {
                  log.LogInfo("%s", qvctx::kGetLastErrorEntering);
                }) == 0
             ? qvctx::TheModule().LastResult()
             : kFailure;
}

QVCTX_API int32_t ServerSessionInfo(void) {
  return Inform("ServerSessionInfo", [](qvctx::CLogFile& log) {
    log.LogInfo("%s", qvctx::kSessionInfoEntering);
  });
}

QVCTX_API int32_t ServerQueryInformation(void) {
  return Inform("ServerQueryInformation", [](qvctx::CLogFile& log) {
    log.LogInfo("%s", qvctx::kQueryInformationEntering);
  });
}

QVCTX_API int32_t ServerSetInformation(void) {
  return Inform("ServerSetInformation", [](qvctx::CLogFile& log) {
    log.LogInfo("%s", qvctx::kSetInformationEntering);
  });
}

QVCTX_API int32_t ServerSessionReset(void) {
  return Inform("ServerSessionReset", [](qvctx::CLogFile& log) {
    log.LogError("%s", qvctx::kSessionResetEntering);
  });
}

}  // extern "C"
