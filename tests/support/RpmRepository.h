#ifndef KW_TESTS_SUPPORT_RPMREPOSITORY_H
#define KW_TESTS_SUPPORT_RPMREPOSITORY_H

#include <string>
#include <vector>

// A yum repository of tiny noarch packages in a directory, built with rpmbuild and indexed with
// createrepo_c. The packages carry no files and no shell scriptlets: an empty rpm database provides
// no /bin/sh.
class RpmRepository {
public:
    struct Recipe {
        std::string name;
        std::string version;  // release 1
        std::string header;   // further header lines ("Requires: kwt-b", "Epoch: 1")
        std::string body;     // scriptlets after the description
    };

    // Builds every recipe into dir (created when missing); empty when all went well, else what went
    // wrong, for a test suite's set-up to keep and each test to fail with.
    static std::string build(const std::string& dir, const std::vector<Recipe>& recipes);
};

#endif
