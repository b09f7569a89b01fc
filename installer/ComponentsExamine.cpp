#include "installer/ComponentsExamine.h"

#include "common/Log.h"
#include "common/Progress.h"

void logProgressStep(const std::string& key, const std::string& text)
{
    Progress().step(key, text);
    Log::stream(Log::LEVEL_ERROR, true) << text;
}
