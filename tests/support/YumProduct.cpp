#include "tests/support/YumProduct.h"

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/Opsys.h"
#include "installer/BuildInfFile.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/YumConfigurator.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/OverlayRoot.h"
#include "tests/support/RpmRepository.h"
#include "tests/support/TempDir.h"

namespace {

const std::string& top()
{
    static const TempDir dir("/var/tmp");
    return dir.path();
}

}  // namespace

std::string YumProduct::mirror()
{
    return top() + "/mirror";
}

std::string YumProduct::prepare()
{
    static const std::string problem = [] {
        const std::string product = mirror() + "/zanth/builds/10.0/repo";
        std::string failed =
            RpmRepository::build(top() + "/system", {{"kwt-b", "1.0", "", ""}, {"kwt-y", "1.0", "", ""}});
        failed += RpmRepository::build(product, {{"kwt-a", "1.0", "Requires: kwt-b", ""},
                                                 {"kwt-x", "1.0", "Conflicts: kwt-y", ""},
                                                 {"kwt-c", "1.0", "", ""},
                                                 {"kwt-c", "2.0", "", ""},
                                                 {"kwt-e", "3.0", "Epoch: 1", ""},
                                                 {"kwt-f", "1.0", "", "%pre -p <lua>\nerror(\"refused\")\n"}});
        failed += RpmRepository::build(product + "/tp", {{"kwt-p", "1.0", "", ""}});
        return failed;
    }();
    return problem;
}

void YumProduct::writeSystemRepo(bool enabled)
{
    writeWholeFile("/etc/yum.repos.d/system.repo", "[kwt-system]\nname=system\nbaseurl=file://" + top() +
                                                       "/system\nenabled=" + (enabled ? "1" : "0") + "\ngpgcheck=0\n");
}

YumProduct::YumProduct(const std::string& buildFileDir, const std::string& attributes)
    : fetcher(SourceUrl(mirror() + "/"), buildFileDir + "/fetched"), sources(&repository)
{
    Options::instance().source.assign(mirror() + "/");
    const auto product =
        boost::make_shared<Product>("zanth", "Zanth", false, Product::keypackages_t(), std::vector<std::string>(),
                                    std::vector<std::string>(), "", "", "", "", std::vector<std::string>());
    const auto release = boost::make_shared<Release>(product, "zanth-10.0", "Zanth 10", "", "10.0", "0");
    const std::string config = "zanth/builds/10.0/el8.inf3";
    const std::string path = buildFileDir + "/build.inf3";
    writeWholeFile(path,
                   "<build os_name=\"Linux\" os_vendor=\"AlmaLinux\" os_version=\"8\" os_arch=\"x86_64\" "
                   "environment=\"\" build_dir=\"repo\" yum_repo_id=\"zanth-10\" yum_repo_name=\"Zanth 10\" " +
                       attributes +
                       "><product id=\"zanth\"><release id=\"zanth-10.0\" version=\"10.0\"/></product>"
                       "<component name=\"core\" description=\"Core\"><keypackages><keypackage name=\"k\"/>"
                       "</keypackages></component><thirdparty thirdparty_dir=\"repo/tp\" persistent_repo=\"yes\"/>"
                       "</build>");
    build = boost::make_shared<Build>(release, "Linux", "AlmaLinux", "8", "x86_64", "", "", config, "");
    build->setBuildFile(boost::make_shared<BuildInfFile>(path, config));
    build->setSource("zanth");
    if (Opsys().isRedHatBased())
        sources.addBuildSources(fetcher, build);
}

void runChecksOnDnfSystem(const std::function<void()>& body)
{
    ASSERT_EQ(YumProduct::prepare(), "");
    const ChildResult result = runChecksInOverlay([&] {
        ForcedSystem{"", "AlmaLinux", "8", "", ""}.apply();
        prepareDnfSystem();
        YumProduct::writeSystemRepo();
        YumConfigurator::detectPackageTool();
        body();
    });
    EXPECT_EQ(result.exit_code, 0) << result.out << result.err;
}
