#include "tests/support/TestCatalogue.h"

#include <filesystem>

#include <boost/algorithm/string/replace.hpp>

#include "common/FileFetcher.h"
#include "common/Opsys.h"
#include "common/Package.h"

TestCatalogue::TestCatalogue(const std::string& index, bool states)
{
    std::map<std::string, std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(std::string(KW_TEST_DATA_DIR) + "/catalogue"))
        files[entry.path().filename().string()] = readWholeFile(entry.path());
    load(files, index, states);
}

TestCatalogue::TestCatalogue(const std::map<std::string, std::string>& files, const std::string& index, bool states)
{
    load(files, index, states);
}

void TestCatalogue::load(const std::map<std::string, std::string>& files, const std::string& index, bool states)
{
    const Opsys system;
    const std::string attributes = "os_name=\"" + system->name + "\" os_vendor=\"" + system->vendor +
                                   "\" os_version=\"" + system->version + "\" os_arch=\"" + system->arch + "\"";
    for (const auto& file : files) {
        std::string text = file.second;
        boost::replace_all(text, "@THIS_SYSTEM@", attributes);
        writeWholeFile(dir / file.first, text);
    }
    FileFetcher fetcher(SourceUrl(dir.path() + "/"), dir / "target");
    catalogue.reset(new BuildManager(fetcher, index));
    if (states)
        install({});
}

void TestCatalogue::install(const std::vector<std::pair<std::string, std::string>>& packages)
{
    installed.reset(new Repository);
    for (const auto& package : packages) {
        Package* pkg = new Package(package.first, package.second);
        pkg->setType('s');
        installed->addPackage(pkg, nullptr);
    }
    catalogue->calculateReleasesState(*installed);
}

std::vector<std::string> TestCatalogue::ids(const BuildManager::releases_t& releases)
{
    std::vector<std::string> result;
    for (const auto& release : releases)
        result.push_back(release->get_id());
    return result;
}
