#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Messages.h"
#include "installer/BuildManager.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/TestCatalogue.h"

namespace {

const Messages messages;

}  // namespace

TEST(BuildManagerWindows, UnsupportedSystemsAreWarnedAbout)
{
    struct Case {
        const char* name;
        const char* vendor;
        const char* version;
        bool zanth_installed;
        std::vector<std::string> keys;
    };
    const std::vector<Case> cases = {
        {"Windows-server", "Microsoft", "5.2", false, {"os_win2003_not_supported"}},
        {"Windows-server", "Microsoft", "6.0", false, {"os_win2008_not_supported_product_not_installed"}},
        {"Windows-server", "Microsoft", "6.0", true, {"os_win2008_not_supported_product_installed"}},
        {"Windows-server-core", "Microsoft", "6.1", true, {"os_win2008r2_not_supported_product_installed"}},
        {"Windows-server", "Microsoft", "6.1-sp1", false, {"os_win2008r2_not_supported_product_not_installed"}},
        {"Windows-workstation", "Microsoft", "10.0", false, {"os_win_workstation_not_supported"}},
        {"Windows-server", "Microsoft", "10.0", true, {}},
        {"Linux", "Debian", "12", true, {}},
    };
    for (const Case& c : cases) {
        const ChildResult result = runChecksOnSystem({c.name, c.vendor, c.version, "", ""}, [&] {
            TestCatalogue catalogue;
            if (c.zanth_installed)
                catalogue.install({{"kwt-zanth-core", "18"}});
            catalogue->checkNotSupportedUpgrades({"release"});
            std::vector<std::string> expected;
            for (const std::string& key : c.keys)
                expected.push_back(messages.get(key));
            EXPECT_EQ(catalogue->getWarnings(), expected);
        });
        EXPECT_EQ(result.exit_code, 0) << c.name << " " << c.version << "\n" << result.out << result.err;
    }
}
