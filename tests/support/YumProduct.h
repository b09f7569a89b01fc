#ifndef KW_TESTS_SUPPORT_YUMPRODUCT_H
#define KW_TESTS_SUPPORT_YUMPRODUCT_H

#include <functional>
#include <string>

#include <boost/shared_ptr.hpp>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/SourceManager.h"

// Rpm repositories for the yum path, built once per test program under /var/tmp (so that an overlay
// of / sees them):
// - "system": kwt-b 1.0 and kwt-y 1.0, an operating-system repository that a real server enables;
// - the product's temporary build repository "zanth-10-dist": kwt-a 1.0 requiring kwt-b, kwt-x 1.0
//   conflicting with kwt-y, kwt-c 1.0 and 2.0, kwt-e 3.0 with epoch 1, and kwt-f 1.0 whose "%pre"
//   (a Lua scriptlet) fails;
// - its persistent thirdparty repository "zanth-10-thirdparty": kwt-p 1.0.
// All packages are noarch, release 1.
class YumProduct {
public:
    // Builds the repositories on the first call; empty when they are there, else what went wrong.
    static std::string prepare();
    // The installation source whose "zanth/builds/10.0/repo" holds the product's repositories.
    static std::string mirror();
    // "/etc/yum.repos.d/system.repo" naming the system repository, enabled or not.
    static void writeSystemRepo(bool enabled = true);

    // The Zanth 10 build of the product "zanth" on AlmaLinux 8, with both product repositories and
    // the attributes given (for instance gpgcheck), and what a flow holds for the configurator. The
    // sources are added only when the running system is of the RPM family.
    explicit YumProduct(const std::string& buildFileDir, const std::string& attributes = "");

    boost::shared_ptr<Build> build;
    Repository repository;
    FileFetcher fetcher;
    SourceManager sources;
};

// Runs gtest checks as root of an overlay of / (runChecksInOverlay) on AlmaLinux 8: dnf prepared
// (prepareDnfSystem), the system repository enabled and the package tool detected. The repositories
// are built first; a failure to build them fails the calling test.
void runChecksOnDnfSystem(const std::function<void()>& body);

#endif
