#include "tests/support/YumProduct.h"

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include "common/Opsys.h"
#include "common/fileops.h"
#include "installer/BuildInfFile.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/YumConfigurator.h"
#include "tests/support/ForcedSystem.h"
#include "tests/support/GeneratedMirror.h"
#include "tests/support/OverlayRoot.h"
#include "tests/support/TempDir.h"

namespace {

// Made on the first call; null when the generator failed (prepare() says why).
const GeneratedMirror* generated(std::string* problem = nullptr)
{
    static std::string failure;
    static const std::unique_ptr<const GeneratedMirror> made = []() -> std::unique_ptr<const GeneratedMirror> {
        try {
            return std::make_unique<const GeneratedMirror>(
                std::vector<std::string>{"--model", GeneratedMirror::packageToolModel()}, "/var/tmp");
        } catch (const std::exception& e) {
            failure = std::string("the test mirror could not be made: ") + e.what();
            return nullptr;
        }
    }();
    if (problem)
        *problem = failure;
    return made.get();
}

const GeneratedMirror& made()
{
    const GeneratedMirror* mirror = generated();
    if (!mirror)
        throw std::runtime_error(YumProduct::prepare());
    return *mirror;
}

// The mirror's build file of Zanth 10.0.0 on AlmaLinux 8, whose repositories the product uses.
std::string config()
{
    return made().firstBuild("rpm");
}

}  // namespace

std::string YumProduct::mirror()
{
    return made().path();
}

std::string YumProduct::prepare()
{
    std::string problem;
    generated(&problem);
    return problem;
}

std::string YumProduct::repositoryPath(char kind)
{
    return made().repository(config(), kind).get<std::string>("path");
}

void YumProduct::writeSystemRepo(bool enabled)
{
    writeWholeFile("/etc/yum.repos.d/system.repo", "[kwt-system]\nname=system\nbaseurl=file://" + mirror() + "/" +
                                                       made().repository("", 's').get<std::string>("path") +
                                                       "\nenabled=" + (enabled ? "1" : "0") + "\ngpgcheck=0\n");
}

YumProduct::YumProduct(const std::string& buildFileDir, const std::string& attributes)
    : fetcher(SourceUrl(mirror() + "/"), buildFileDir + "/fetched"), sources(&repository)
{
    Options::instance().source.assign(mirror() + "/");
    const auto product =
        boost::make_shared<Product>("zanth", "Zanth", false, Product::keypackages_t(), std::vector<std::string>(),
                                    std::vector<std::string>(), "", "", "", "", std::vector<std::string>());
    const auto release = boost::make_shared<Release>(product, "zanth-10.0", "Zanth 10", "", "10.0", "0");
    // The repository directories are relative to the directory of the config, as in the mirror.
    const std::string path = buildFileDir + "/build.inf3";
    const std::string dist = fileops::basename(repositoryPath('b'));
    const std::string thirdparty = fileops::basename(repositoryPath('t'));
    writeWholeFile(path,
                   "<build os_name=\"Linux\" os_vendor=\"AlmaLinux\" os_version=\"8\" os_arch=\"x86_64\" "
                   "environment=\"\" build_dir=\"" +
                       dist + "\" yum_repo_id=\"zanth-10\" yum_repo_name=\"Zanth 10\" " + attributes +
                       "><product id=\"zanth\"><release id=\"zanth-10.0\" version=\"10.0\"/></product>"
                       "<component name=\"core\" description=\"Core\"><keypackages><keypackage name=\"k\"/>"
                       "</keypackages></component><thirdparty thirdparty_dir=\"" +
                       thirdparty + "\" persistent_repo=\"yes\"/></build>");
    build = boost::make_shared<Build>(release, "Linux", "AlmaLinux", "8", "x86_64", "", "", config(), "");
    build->setBuildFile(boost::make_shared<BuildInfFile>(path, config()));
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
