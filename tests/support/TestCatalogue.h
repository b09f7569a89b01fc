#ifndef KW_TESTS_SUPPORT_TESTCATALOGUE_H
#define KW_TESTS_SUPPORT_TESTCATALOGUE_H

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/Repository.h"
#include "installer/BuildManager.h"
#include "tests/support/TempDir.h"

// The hand-written catalogue of tests/data/catalogue, loaded from a copy in which "@THIS_SYSTEM@"
// became the os_* attributes of the running system, so that its builds fit this machine.
class TestCatalogue {
public:
    // `states`: compute the release states with nothing installed.
    explicit TestCatalogue(const std::string& index = "products.inf3", bool states = true);
    // A catalogue of these files (name -> text, "@THIS_SYSTEM@" replaced as above) instead.
    TestCatalogue(const std::map<std::string, std::string>& files, const std::string& index, bool states = true);

    BuildManager* operator->() const { return catalogue.get(); }
    BuildManager& operator*() const { return *catalogue; }

    // Computes the state of every release as if exactly these packages (name, version) were installed.
    void install(const std::vector<std::pair<std::string, std::string>>& packages);
    Repository& repository() { return *installed; }

    // The ids of the releases of a list, in order.
    static std::vector<std::string> ids(const BuildManager::releases_t& releases);

private:
    void load(const std::map<std::string, std::string>& files, const std::string& index, bool states);

    TempDir dir;
    std::unique_ptr<BuildManager> catalogue;
    std::unique_ptr<Repository> installed;
};

#endif
