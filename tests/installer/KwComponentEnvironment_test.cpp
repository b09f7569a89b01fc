// The running system's environment is detected once per process; nothing in this program detects
// it before the children below set their overrides.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/Opsys.h"
#include "installer/Build.h"
#include "installer/KwComponent.h"
#include "tests/support/ForcedSystem.h"

namespace {

TEST(KwComponentEnvironmentTest, ComponentsForTheRunningEnvironment)
{
    // The running system's environment, then whether components for "", "dedicated", "qz" and
    // "other" are meant for it.
    const std::vector<std::pair<std::string, std::string>> table = {
        {"", "1100"},
        {"dedicated", "1100"},
        {"qz", "1010"},
    };
    for (const auto& row : table) {
        ForcedSystem system;
        system.environment = row.first;
        const ChildResult result = runChecksOnSystem(system, [&row] {
            ASSERT_EQ(Opsys()->environment, row.first) << "this machine is no dedicated server";
            const boost::shared_ptr<Build> build(
                new Build(boost::shared_ptr<Release>(), "Linux", "Debian", "12", "x86_64", "", "", "web.inf3", ""));
            std::string got;
            for (const char* environment : {"", "dedicated", "qz", "other"})
                got += KwComponent(build, "web", "Web", environment, {}).matchesEnvironment() ? '1' : '0';
            EXPECT_EQ(got, row.second) << "system environment '" << row.first << "'";
        });
        EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
    }
}

}  // namespace
