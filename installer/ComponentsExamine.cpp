#include "installer/ComponentsExamine.h"

#include "common/Log.h"
#include "common/Progress.h"

void logProgressStep(const std::string& key, const std::string& text)
{
    Progress().step(key, text);
    Log::stream(0, true) << text;
}
