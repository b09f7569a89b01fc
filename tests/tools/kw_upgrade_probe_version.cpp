// The build identity of one build of kw_upgrade_probe, linked in place of the program's own.
#include "common/ProgramVersion.h"

const char* const ProgramVersion::version = KW_PROBE_VERSION;
const char* const ProgramVersion::revision = "000000000000";
