// myModuleData: the one process-wide record of settings and session state.
#ifndef QVCTX_SRC_MODULE_MODULE_DATA_H_
#define QVCTX_SRC_MODULE_MODULE_DATA_H_

#include <atomic>
#include <cstdint>

#include "qvctx/qvctx.h"

namespace qvctx {

// Sizes of the text settings.
constexpr int kPathSize = 260;  // configFile and the two name arrays
constexpr int kSettingBufferSize =
    256;  // the buffers behind hostIpAddress and logfileName

// A plain record with public fields that the other parts read and write in
// place. Its values at load are static initial values (see module_data.cpp).
// Fields shared between the reader thread and host threads are atomic.
struct ModuleData {
  char configFile[kPathSize];  // path of the configuration file
  std::uint16_t uiPort;        // configured "port"; banner only
  std::int32_t logEnabled;     // configured "logEnabled"; nothing reads it
  std::atomic<std::int32_t> logLevel;  // gate of every log line
  std::int32_t logAppend;              // not 0: the log file is appended to
  std::int32_t iLogMax;                // configured "logLenMax"; banner only
  char* hostIpAddress;                 // 256-byte buffer, allocated at load
  char* logfileName;                   // 256-byte buffer, allocated at load
  char hostComputerName[kPathSize];
  char hostUserName[kPathSize];
  // The result of the last session start (0 started, 1 not), as
  // ServerGetLastError and the close report it. A start that fails because a
  // reader is still there tells that reader to stop itself.
  std::atomic<std::int32_t> exitcode;
  char* pSessionInfo;                  // owned by the virtual-channel library
  void* pClientData;                   // owned by the virtual-channel library
  std::atomic<void*> hVirtualChannel;  // read afresh by every write
  char* GlobalReadDataTmpPtr;          // the reader's 4088-byte read buffer
  // Configured "readWaitMs" as the reader uses it: 1 to 1000, the longest
  // wait in each channel read; 0 (absent or out of range) the fixed cadence.
  std::uint32_t read_wait_ms;
  // Configured "logProcessTag" not 0: every log line carries the process and
  // session ids.
  bool log_process_tag;
};

extern ModuleData myModuleData;

}  // namespace qvctx

#endif  // QVCTX_SRC_MODULE_MODULE_DATA_H_
