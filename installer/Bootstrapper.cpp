#include "installer/Bootstrapper.h"

namespace {

Bootstrapper::StageRunner& stageRunner()
{
    static Bootstrapper::StageRunner runner = [](const std::string&, const std::string&, bool) { return true; };
    return runner;
}

}  // namespace

namespace Bootstrapper {

bool performActions(ComponentManager&, const std::string& sequence, bool forAllComponents)
{
    return stageRunner()(sequence, "execute", forAllComponents);
}

bool performPkgsFailureActions(ComponentManager&)
{
    return stageRunner()("pkgs", "rollback", false);
}

void setStageRunner(const StageRunner& runner)
{
    stageRunner() = runner;
}

}  // namespace Bootstrapper
