#ifndef KW_INSTALLER_SOURCECONFIG_H
#define KW_INSTALLER_SOURCECONFIG_H

#include <boost/weak_ptr.hpp>

#include "common/Source.h"

class Build;

// The source of the packages that build files declare. The build loader adds them itself, so there
// is nothing to read; loading the full information takes them out of the repository again.
class SourceConfig : public Source {
public:
    explicit SourceConfig(Repository* repository);

    // Repository::addPackage with this source.
    bool addPackage(Package* pkg);

    void readSystemPackagesBrief() override;
    void readPackagesFull() override;
};

// The declared packages of one lazily loaded addon build: the component tree asks it which addon a
// package came from.
class SourceConfigLazyAddon : public SourceConfig {
public:
    SourceConfigLazyAddon(Repository* repository, const boost::weak_ptr<Build>& build);

    boost::weak_ptr<Build> getBuild() const { return build; }

private:
    boost::weak_ptr<Build> build;
};

#endif
