// The build identity of a test build (kw_upgrade_probe, kitwright_next), linked in place of the
// program's own.
#include "common/ProgramVersion.h"

const char* const ProgramVersion::version = KW_PROBE_VERSION;
const char* const ProgramVersion::revision = "000000000000";
