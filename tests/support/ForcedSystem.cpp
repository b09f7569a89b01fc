#include "tests/support/ForcedSystem.h"

#include "common/Opsys.h"

void ForcedSystem::apply() const
{
    Opsys::overrideName = name;
    Opsys::overrideVendor = vendor;
    Opsys::overrideVersion = version;
    Opsys::overrideArch = arch;
    Opsys::overrideEnvironment = environment;
}

ChildResult runChecksOnSystem(const ForcedSystem& system, const std::function<void()>& body,
                              const ChildOptions& options)
{
    return runChecksInChild(
        [&] {
            system.apply();
            Opsys();
            body();
        },
        options);
}
