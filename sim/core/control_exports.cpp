// The simulator's control functions (qvctx/wfapi64_sim.h), exported beside
// the platform operations. Each forwards to the simulator and keeps every
// exception inside.
#include <cstdint>
#include <exception>
#include <vector>

#include "qvctx/wfapi64_sim.h"
#include "simulator.h"
#include "wfsim/stream/package_format.h"

namespace {

using wfsim::Simulator;

// Runs a control function; `failure` when it throws.
template <typename Result, typename Body>
Result Control(Result failure, Body body) noexcept {
  try {
    return body(Simulator::Instance());
  } catch (const std::exception&) {
    return failure;
  }
}

// Runs a control function that gives nothing back; a throw is dropped.
template <typename Body>
void Command(Body body) noexcept {
  try {
    body(Simulator::Instance());
  } catch (const std::exception&) {
  }
}

std::int32_t ResultCode(bool ok) { return ok ? 0 : 1; }

const std::uint8_t* Bytes(const void* data) {
  return static_cast<const std::uint8_t*>(data);
}

std::int32_t SendPackage(std::uint16_t fnc_typ, std::uint32_t message_id,
                         const void* payload, std::uint32_t payload_length) {
  if (payload == nullptr && payload_length != 0) return 1;
  if (payload_length > 0xFFFFFFFFu - qvctx::kPackageHeadSize) return 1;
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    const std::vector<std::uint8_t> package = wfsim::BuildPackage(
        fnc_typ, message_id, nullptr, Bytes(payload), payload_length);
    sim.ClientSend(package.data(), package.size());
    return 0;
  });
}

}  // namespace

extern "C" {

// ---- State ----

void WfSimReset(void) {
  Command([](Simulator& sim) { sim.Reset(); });
}

void WfSimSetIcaSession(std::int32_t is_ica_session) {
  Command([&](Simulator& sim) { sim.SetIcaSession(is_ica_session != 0); });
}

void WfSimSetClientConnected(std::int32_t connected) {
  Command([&](Simulator& sim) { sim.SetClientConnected(connected != 0); });
}

std::int32_t WfSimSetNextHandle(std::uint64_t value) {
  return Control<std::int32_t>(
      1, [&](Simulator& sim) { return ResultCode(sim.SetNextHandle(value)); });
}

std::uint32_t WfSimOpenHandleCount(void) {
  return Control<std::uint32_t>(
      0, [&](Simulator& sim) { return sim.OpenHandleCount(); });
}

std::uint32_t WfSimHeldBufferCount(void) {
  return Control<std::uint32_t>(
      0, [&](Simulator& sim) { return sim.HeldBufferCount(); });
}

std::uint64_t WfSimCallCount(std::int32_t operation) {
  return Control<std::uint64_t>(
      0, [&](Simulator& sim) { return sim.CallCount(operation); });
}

std::int32_t WfSimWaitForCalls(std::int32_t operation, std::uint64_t count,
                               std::uint32_t timeout_ms) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(sim.WaitForCalls(operation, count, timeout_ms));
  });
}

// ---- Faults ----

std::int32_t WfSimFailCalls(std::int32_t operation,
                            std::uint32_t after_successes, std::uint32_t count,
                            std::uint32_t error_code) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(
        sim.FailCalls(operation, after_successes, count, error_code));
  });
}

void WfSimSetWriteCap(std::uint32_t max_bytes) {
  Command([&](Simulator& sim) { sim.SetWriteCap(max_bytes); });
}

void WfSimZeroWrites(std::uint32_t after_successes, std::uint32_t count) {
  Command([&](Simulator& sim) { sim.ZeroWrites(after_successes, count); });
}

std::uint32_t WfSimFaultsFired(std::int32_t operation) {
  return Control<std::uint32_t>(
      0, [&](Simulator& sim) { return sim.FaultsFired(operation); });
}

// ---- The client sends, the server reads ----

std::int32_t WfSimClientSend(const void* data, std::uint32_t length) {
  if (data == nullptr && length != 0) return 1;
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    sim.ClientSend(Bytes(data), length);
    return 0;
  });
}

std::int32_t WfSimClientSendPackage(std::uint16_t fnc_typ,
                                    std::uint32_t message_id,
                                    const void* payload,
                                    std::uint32_t payload_length) {
  return SendPackage(fnc_typ, message_id, payload, payload_length);
}

std::int32_t WfSimClientSendEvent(std::uint32_t message_id, const void* payload,
                                  std::uint32_t payload_length) {
  return SendPackage(qvctx::kEventType, message_id, payload, payload_length);
}

void WfSimSetReadPieceSize(std::uint32_t max_bytes) {
  Command([&](Simulator& sim) { sim.SetReadPieceSize(max_bytes); });
}

void WfSimIgnoreReadTimeouts(std::int32_t on) {
  Command([&](Simulator& sim) { sim.IgnoreReadTimeouts(on != 0); });
}

void WfSimSetReadWaitShare(std::uint32_t percent) {
  Command([&](Simulator& sim) { sim.SetReadWaitShare(percent); });
}

std::uint64_t WfSimPendingReadBytes(void) {
  return Control<std::uint64_t>(
      0, [&](Simulator& sim) { return sim.PendingReadBytes(); });
}

std::int32_t WfSimWaitUntilRead(std::uint32_t timeout_ms) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(sim.WaitUntilRead(timeout_ms));
  });
}

// ---- The server writes, the client receives ----

std::uint64_t WfSimWrittenTotal(void) {
  return Control<std::uint64_t>(
      0, [&](Simulator& sim) { return sim.WrittenTotal(); });
}

std::uint64_t WfSimWrittenAvailable(void) {
  return Control<std::uint64_t>(
      0, [&](Simulator& sim) { return sim.WrittenAvailable(); });
}

std::uint32_t WfSimTakeWritten(void* buffer, std::uint32_t capacity) {
  if (buffer == nullptr) return 0;
  return Control<std::uint32_t>(0, [&](Simulator& sim) {
    return sim.TakeWritten(static_cast<std::uint8_t*>(buffer), capacity);
  });
}

std::int32_t WfSimWaitForWritten(std::uint64_t total,
                                 std::uint32_t timeout_ms) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(sim.WaitForWritten(total, timeout_ms));
  });
}

std::uint32_t WfSimWriteRecordCount(void) {
  return Control<std::uint32_t>(
      0, [&](Simulator& sim) { return sim.WriteRecordCount(); });
}

std::int32_t WfSimGetWriteRecord(std::uint32_t index,
                                 WfSimWriteRecord* record) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(sim.GetWriteRecord(index, record));
  });
}

// ---- The built-in client ----

void WfSimSetBuiltInClient(std::int32_t on) {
  Command([&](Simulator& sim) { sim.SetBuiltInClient(on != 0); });
}

void WfSimSetKeepWritten(std::int32_t on) {
  Command([&](Simulator& sim) { sim.SetKeepWritten(on != 0); });
}

std::uint32_t WfSimAnsweredCount(void) {
  return Control<std::uint32_t>(
      0, [&](Simulator& sim) { return sim.AnsweredCount(); });
}

std::uint64_t WfSimUnframedBytes(void) {
  return Control<std::uint64_t>(
      0, [&](Simulator& sim) { return sim.UnframedBytes(); });
}

// ---- A client process ----

std::int32_t WfSimBridgeState(void) {
  return Control<std::int32_t>(
      WFSIM_BRIDGE_NONE, [&](Simulator& sim) { return sim.BridgeState(); });
}

std::int32_t WfSimWaitForBridgeState(std::int32_t state,
                                     std::uint32_t timeout_ms) {
  return Control<std::int32_t>(1, [&](Simulator& sim) {
    return ResultCode(sim.WaitForBridgeState(state, timeout_ms));
  });
}

}  // extern "C"
