#ifndef KW_TESTS_SUPPORT_YUMPRODUCT_H
#define KW_TESTS_SUPPORT_YUMPRODUCT_H

#include <functional>
#include <string>

#include <boost/shared_ptr.hpp>

#include "common/FileFetcher.h"
#include "common/Repository.h"
#include "installer/Build.h"
#include "installer/SourceManager.h"

// The rpm repositories of the yum path's tests: the generated mirror of the package tools' tests
// (GeneratedMirror::packageToolModel), made once per test program under /var/tmp (so that an overlay
// of / sees it). All its "kwt-" packages are noarch, release 1:
// - "system": kwt-b 1.0 and kwt-y 1.0, an operating-system repository that a real server enables;
// - the product's temporary build repository "zanth-10-dist" (the AlmaLinux 8 build repository of
//   Zanth 10.0.0): kwt-a 1.0 requiring kwt-b, kwt-x 1.0 conflicting with kwt-y, kwt-c 1.0 and 2.0,
//   kwt-e 3.0 with epoch 1, and kwt-f 1.0 whose "%pre" (a Lua scriptlet) fails;
// - its persistent thirdparty repository "zanth-10-thirdparty": kwt-p 1.0.
class YumProduct {
public:
    // Makes the mirror on the first call; empty when it is there, else what went wrong.
    static std::string prepare();
    // The installation source: the mirror.
    static std::string mirror();
    // The directory of the product's repository of the kind ('b' build, 't' thirdparty), relative to
    // the mirror.
    static std::string repositoryPath(char kind);
    // "/etc/yum.repos.d/system.repo" naming the system repository, enabled or not.
    static void writeSystemRepo(bool enabled = true);

    // The Zanth 10 build of the product "zanth" on AlmaLinux 8 (a build file of its own in
    // buildFileDir, naming the mirror's repositories), with both product repositories and the
    // attributes given (for instance gpgcheck), and what a flow holds for the configurator. The
    // sources are added only when the running system is of the RPM family.
    explicit YumProduct(const std::string& buildFileDir, const std::string& attributes = "");

    boost::shared_ptr<Build> build;
    Repository repository;
    FileFetcher fetcher;
    SourceManager sources;
};

// Runs gtest checks as root of an overlay of / (runChecksInOverlay) on AlmaLinux 8: dnf prepared
// (prepareDnfSystem), the system repository enabled and the package tool detected. The repositories
// are made first; a failure to make them fails the calling test.
void runChecksOnDnfSystem(const std::function<void()>& body);

#endif
