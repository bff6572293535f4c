#include "module/module_data.h"

namespace qvctx {

// Constant-initialised, so every field holds its value before any code of
// the library runs, static constructors of other files included.
ModuleData myModuleData = {
    /*configFile=*/{},
    /*uiPort=*/8888,
    /*logEnabled=*/0,
    /*logLevel=*/0,
    /*logAppend=*/1,
    /*iLogMax=*/2048,
    /*hostIpAddress=*/nullptr,
    /*logfileName=*/nullptr,
    /*hostComputerName=*/"unknown",
    /*hostUserName=*/"unknown",
    /*exitcode=*/1,
    /*pSessionInfo=*/nullptr,
    /*pClientData=*/nullptr,
    /*hVirtualChannel=*/nullptr,
    /*GlobalReadDataTmpPtr=*/nullptr,
    /*read_wait_ms=*/0,
    /*log_process_tag=*/false,
};

}  // namespace qvctx
