// The recording part, all the tap links of the simulator, may not include the
// built-in client: this does not compile.
#include "wfsim/client/builtin_client.h"
#include "wfsim/recording/stream_recorder.h"
