#include "installer/Build.h"

#include <sstream>

#include "common/Log.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/Release.h"

Build::Build(const boost::shared_ptr<Release>& parent_, const std::string& os_name_, const std::string& os_vendor_,
             const std::string& os_version_, const std::string& os_arch_, const std::string& os_release_name_,
             const std::string& environment_, const std::string& config_, const std::string& deprecated_)
    : os_name(os_name_), os_vendor(os_vendor_), os_version(os_version_), os_arch(os_arch_),
      os_release_name(os_release_name_), environment(environment_), config(config_), deprecated(deprecated_ == "true"),
      uninstall_support(false), gpgcheck(false), parent(parent_)
{
}

bool Build::isCompatible(const Opsys& system) const
{
    return Opsys(os_name, os_vendor, os_version, os_arch, environment).matches(system, false);
}

bool Build::isReleaseBuild() const
{
    if (!parent)
        throw KW_INTERNAL_ERROR();
    for (const boost::shared_ptr<Build>& build : parent->get_builds())
        if (build.get() == this)
            return true;
    return false;
}

void Build::changeParent(const boost::shared_ptr<Release>& release)
{
    if (parent) {
        std::ostringstream line;  // one text: the log would mark an empty label written on its own
        line << "DEBUG: Build (addon?) " << *this << " change parent from " << parent->get_label() << " to "
             << release->get_label();
        Log::stream(Log::LEVEL_DEBUG, true) << line.str();
    }
    parent = release;
}

void Build::attachBuildFileData(const cpkgs_t& packages, const actions_t& build_actions)
{
    package_elements.insert(package_elements.end(), packages.begin(), packages.end());
    actions = build_actions;
}

std::ostream& operator<<(std::ostream& out, const Build& build)
{
    out << "build for " << build.getOsName() << " " << build.getOsVendor() << " " << build.getOsVersion() << " "
        << build.getOsArch();
    if (!build.getEnvironment().empty())
        out << " under " << build.getEnvironment();
    if (!build.getConfig().empty())
        out << " (" << build.getConfig() << ")";
    return out;
}

void BuildList::add(const boost::shared_ptr<Build>& build)
{
    builds.push_back(build);
}

boost::shared_ptr<Build> BuildList::findByConfig(const std::string& name) const
{
    for (const boost::shared_ptr<Build>& build : builds)
        if (fileops::basename(build->getConfig()) == name)
            return build;
    return boost::shared_ptr<Build>();
}

boost::shared_ptr<Build> BuildList::getBestBuild(const Opsys& system) const
{
    std::ostringstream described;
    system->print(described);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildList::getBestBuild for " << described.str();

    boost::shared_ptr<Build> best;
    for (const boost::shared_ptr<Build>& build : builds) {
        if (!build->isCompatible(system)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: " << *build << " is not compatible";
            continue;
        }
        // Compatibility admits neighbouring versions and other environments; the build made for
        // precisely this system is the better choice.
        if (!best || (build->getOsVersion() == system->version && build->getEnvironment() == system->environment))
            best = build;
    }
    return best;
}
