// Linked into every fuzz target: the program's log stays silent and keeps nothing, so that millions
// of runs neither flood the terminal nor fill the log's pre-open buffer.
#include "common/Log.h"

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Log::consoleLevel = -1;
    Log::mailLevel = -1;
    Log::fileLevel = -1;
    Log::captureLevel = -1;
    return 0;
}
