// The seven platform operations the library exports. Each forwards to the
// simulator, keeps every exception inside (a failure for lack of memory) and
// sets the last-error code of a failed operation after the simulator's lock
// is released. The control functions are in control_exports.cpp, which the
// platform-only build leaves out.
#include <cstdint>
#include <exception>

#include "qvctx/wfapi64_sim.h"
#include "sim_platform.h"
#include "simulator.h"
#include "wfsim/core/wfapi64_operations.h"

namespace {

using wfsim::Outcome;
using wfsim::Simulator;

// Runs an operation; returns 1 on success, or 0 with the last error set.
template <typename Body>
std::int32_t Operate(Body body) noexcept {
  Outcome outcome{false, WFSIM_ERROR_NOT_ENOUGH_MEMORY};
  try {
    outcome = body(Simulator::Instance());
  } catch (const std::exception&) {
    outcome = Outcome{false, WFSIM_ERROR_NOT_ENOUGH_MEMORY};
  }
  if (outcome.ok) return 1;
  wfsim::SetThreadLastError(outcome.error);
  return 0;
}

}  // namespace

extern "C" {

// ---- The platform operations ----

std::int32_t WFQuerySessionInformationA(void* hServer, std::uint32_t sessionId,
                                        int infoClass, char** ppBuffer,
                                        std::uint32_t* pBytesReturned) {
  return Operate([&](Simulator& sim) {
    return sim.QuerySession(hServer, sessionId, infoClass, ppBuffer,
                            pBytesReturned);
  });
}

void* WFVirtualChannelOpen(void* hServer, std::uint32_t sessionId,
                           char* virtualName) {
  void* handle = nullptr;
  Operate([&](Simulator& sim) {
    return sim.Open(hServer, sessionId, virtualName, &handle);
  });
  return handle;
}

std::int32_t WFVirtualChannelQuery(void* hChannel, int virtualClass,
                                   void** ppBuffer,
                                   std::uint32_t* pBytesReturned) {
  return Operate([&](Simulator& sim) {
    return sim.Query(hChannel, virtualClass, ppBuffer, pBytesReturned);
  });
}

std::int32_t WFVirtualChannelRead(void* hChannel, std::uint32_t timeoutMs,
                                  char* buffer, std::uint32_t bufferSize,
                                  std::uint32_t* pBytesRead) {
  return Operate([&](Simulator& sim) {
    return sim.Read(hChannel, timeoutMs, buffer, bufferSize, pBytesRead);
  });
}

std::int32_t WFVirtualChannelWrite(void* hChannel, char* buffer,
                                   std::uint32_t length,
                                   std::uint32_t* pBytesWritten) {
  return Operate([&](Simulator& sim) {
    return sim.Write(hChannel, buffer, length, pBytesWritten);
  });
}

std::int32_t WFVirtualChannelClose(void* hChannel) {
  return Operate([&](Simulator& sim) { return sim.Close(hChannel); });
}

void WFFreeMemory(void* pMemory) {
  try {
    Simulator::Instance().FreeMemory(pMemory);
  } catch (const std::exception&) {
    // Nothing to report: the operation has no result.
  }
}

}  // extern "C"
