#ifndef KW_INSTALLER_BUILD_H
#define KW_INSTALLER_BUILD_H

#include <ostream>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/Opsys.h"
#include "common/Package.h"
#include "installer/BuildInfFile.h"

class Release;

namespace Bootstrapper {
class Action;
}

// One release (or addon release) packaged for one operating system: the system it was made for, the
// path of its build file on the installation source and, once the build loader has read that file,
// what the installation needs of it.
class Build {
public:
    typedef std::vector<Bootstrapper::Action*> actions_t;
    typedef std::vector<BuildInfFile::examine_t> examines_t;

    // Only the deprecated text "true" makes a deprecated build.
    Build(const boost::shared_ptr<Release>& parent, const std::string& os_name, const std::string& os_vendor,
          const std::string& os_version, const std::string& os_arch, const std::string& os_release_name,
          const std::string& environment, const std::string& config, const std::string& deprecated);

    // Strictly made for `system`: Debian and the Red Hat family accept the same major version, and the
    // environment is no part of it.
    bool isCompatible(const Opsys& system) const;
    // One of the parent release's own builds, not an addon build attached to it.
    bool isReleaseBuild() const;
    // Attaches an addon build to a release.
    void changeParent(const boost::shared_ptr<Release>& release);
    // Adds the build file's packages to those known and takes its stage actions.
    void attachBuildFileData(const cpkgs_t& packages, const actions_t& build_actions);

    const std::string& getOsName() const { return os_name; }
    const std::string& getOsVendor() const { return os_vendor; }
    const std::string& getOsVersion() const { return os_version; }
    const std::string& getOsArch() const { return os_arch; }
    const std::string& getOsReleaseName() const { return os_release_name; }
    void setOsReleaseName(const std::string& name) { os_release_name = name; }
    const std::string& getParametersFile() const { return parameters_file; }
    void setParametersFile(const std::string& name) { parameters_file = name; }
    const std::string& getEnvironment() const { return environment; }
    const std::string& getConfig() const { return config; }
    const std::string& getSource() const { return source; }
    void setSource(const std::string& base) { source = base; }
    bool isDeprecated() const { return deprecated; }
    bool getUninstallSupport() const { return uninstall_support; }
    void setUninstallSupport(bool supported) { uninstall_support = supported; }
    const cpkgs_t& getPackageElements() const { return package_elements; }
    const actions_t& getActions() const { return actions; }
    bool getGpgCheck() const { return gpgcheck; }
    void setGpgCheck(bool check) { gpgcheck = check; }
    const std::string& getGpgPublicKey() const { return gpg_public_key; }
    void setGpgPublicKey(const std::string& key) { gpg_public_key = key; }
    const examines_t& getExamine() const { return examine; }
    void addExamine(const BuildInfFile::examine_t& entry) { examine.push_back(entry); }
    const boost::shared_ptr<Release>& getParent() const { return parent; }
    const boost::shared_ptr<BuildInfFile>& getBuildFile() const { return build_file; }
    // A build file read again replaces the earlier one.
    void setBuildFile(const boost::shared_ptr<BuildInfFile>& file) { build_file = file; }

private:
    std::string os_name;
    std::string os_vendor;
    std::string os_version;
    std::string os_arch;
    std::string os_release_name;
    std::string parameters_file;  // the per-build parameter file named by the build file
    std::string environment;      // empty for a dedicated server
    std::string config;           // the build file, relative to the installation source
    std::string source;           // the base directory config was resolved against
    bool deprecated;
    bool uninstall_support;
    cpkgs_t package_elements;  // the build file's own packages, handed to the package sources
    actions_t actions;         // owned by the stage-action model, never deleted here
    bool gpgcheck;
    std::string gpg_public_key;
    examines_t examine;                          // the checks before and after an installation
    boost::shared_ptr<Release> parent;           // empty for an addon build until it is attached
    boost::shared_ptr<BuildInfFile> build_file;  // set by the build loader
};

// "build for <name> <vendor> <version> <arch>[ under <environment>][ (<config>)]"
std::ostream& operator<<(std::ostream& out, const Build& build);

// The builds of a release or an addon, in catalogue order.
class BuildList {
public:
    typedef std::vector<boost::shared_ptr<Build>> builds_t;

    void add(const boost::shared_ptr<Build>& build);
    // The first build whose config has that base name; empty when none.
    boost::shared_ptr<Build> findByConfig(const std::string& name) const;
    // The last compatible build made for exactly this version and environment of the system, else the
    // first compatible one; empty when none is compatible.
    boost::shared_ptr<Build> getBestBuild(const Opsys& system) const;

    builds_t::const_iterator begin() const { return builds.begin(); }
    builds_t::const_iterator end() const { return builds.end(); }
    bool empty() const { return builds.empty(); }
    size_t size() const { return builds.size(); }

private:
    builds_t builds;
};

#endif
