#include "installer/KwComponent.h"

#include <algorithm>
#include <sstream>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Package.h"
#include "common/PooledString.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "installer/Build.h"
#include "installer/ComponentsChangeset.h"
#include "installer/KwRadioGroup.h"
#include "installer/Release.h"
#include "installer/SourceConfig.h"
#include "installer/SystemSpecificConfigurator.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_NO_BUILD_TEXT_FORM = 42;
const int LINE_NO_BUILD = 53;
const int LINE_MODE_NOT_CHECKED = 64;
const int LINE_PROVIDER_NOT_INSTALLED = 334;
const int LINE_SECTION_PROVIDER_NOT_INSTALLED = 522;

// One whole line at the debug level, written as one text: the log marks an empty piece of its own.
void debug(const std::string& text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

std::string flag(bool value)
{
    return value ? "true" : "false";
}

// The package as log lines show it.
std::string logForm(const Package* package)
{
    std::ostringstream out;
    package->print(out);
    return out.str();
}

// Texts of a list as " 'a' 'b'".
std::string quotedList(const BuildInfFile::names_t& names)
{
    std::string text;
    for (const std::string& name : names)
        text += " '" + name + "'";
    return text;
}

bool contains(const BuildInfFile::names_t& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

Package* installedPackage(Repository* repository, const std::string& name)
{
    return repository->getInstalledPackage(PooledString(name));
}

// The highest build time and version among the packages noted in it.
struct PackagesRecord {
    uint64_t build_time = 0;
    const Version* version = nullptr;  // owned by a package, which the repository never deletes

    void note(const Package* package)
    {
        if (!package)
            return;
        build_time = std::max(build_time, package->getBuildTime());
        if (!version || *version < package->getVersion())
            version = &package->getVersion();
    }
    std::string versionText() const { return !version || version->getVersion().empty() ? "" : version->toString(); }
};

// The working state of one installed-state check.
class ComponentStatusChecker {
public:
    ComponentStatusChecker(const KwComponent* component_, Repository* repository_,
                           SystemSpecificConfigurator* configurator_)
        : component(component_), repository(repository_), configurator(configurator_)
    {
    }

    void checkSection(const BuildInfFile::keypackages_t& section);
    void checkBuildPackages();
    void noteBuildTimesOnly();

    const KwComponent* component;
    Repository* repository;
    SystemSpecificConfigurator* configurator;
    bool is_comp_installed_latest = false;
    bool is_comp_installed = false;
    bool is_comp_available = false;
    cpkgs_t missed;
    PackagesRecord available;
    PackagesRecord installed;

private:
    bool isOwnOrMissed(const Package* package) const;
};

bool ComponentStatusChecker::isOwnOrMissed(const Package* package) const
{
    const auto sameName = [package](const Package* own) { return own->getName() == package->getName(); };
    // A key package named in two sections is still one package of the component.
    return std::any_of(component->packages.begin(), component->packages.end(), sameName) ||
           std::any_of(missed.begin(), missed.end(), sameName);
}

void ComponentStatusChecker::checkSection(const BuildInfFile::keypackages_t& section)
{
    bool section_installed = true;
    bool section_available = true;
    bool section_latest = true;

    debug(" test negative keypackages set: " + quotedList(section.nokeypackages));
    for (const std::string& name : section.nokeypackages) {
        if (!section_installed)
            break;
        const std::string base = fileops::basename(name);
        if (const Package* present = installedPackage(repository, base)) {
            debug("  In system installed " + logForm(present));
            section_installed = false;
            section_latest = false;
        } else {
            debug("  Package " + base + " is not installed");
        }
    }

    debug(" test positive keypackages set: " + quotedList(section.keypackages));
    for (const std::string& name : section.keypackages) {
        if (!section_installed && !section_available)
            break;
        // Written as it stands: an "a/b" name is installed only under that very name.
        const Package* present = installedPackage(repository, name);
        if (present) {
            debug("  In system installed " + logForm(present));
        } else {
            debug("  Package " + name + " is not installed");
            section_installed = false;
            section_latest = false;
        }
        // The system's package tool is asked only for what is not installed at all.
        const Package* candidate =
            component->findBestCandidate(name, repository, present ? nullptr : &configurator, true);
        if (candidate)
            debug("  Following package is available: " + logForm(candidate));
        else
            debug("  New version of package " + name + " is not available.");
        installed.note(present);
        available.note(candidate);
        if (present) {
            if (!isOwnOrMissed(present)) {
                debug("adding missed base package " + logForm(present) + " to component " + component->name + " " +
                      component->description);
                missed.push_back(present);
            }
            if (candidate && present->getVersion() < candidate->getVersion())
                section_latest = false;
        } else if (!candidate) {
            section_available = false;
        }
    }

    debug(" test key provides set: " + quotedList(section.keyprovides));
    for (const std::string& name : section.keyprovides) {
        if (!section_available)
            break;
        const Package* provider = repository->findNewestProvider(name);
        installed.note(provider);
        if (!provider) {
            debug("  No package installed in system provides " + name);
            section_installed = false;
            section_available = false;
            section_latest = false;
            break;
        }
        if (provider->getType() != Package::TYPE_INSTALLED)
            throw internal_error(__FILE__, LINE_PROVIDER_NOT_INSTALLED);
        debug("  In system installed " + logForm(provider));
        const Package* candidate = component->findBestCandidate(provider->getName().c_str(), repository, nullptr, true);
        available.note(candidate);
        if (candidate) {
            debug("  Following package is available: " + logForm(candidate));
            if (provider->getVersion() < candidate->getVersion())
                section_latest = false;
        } else {
            debug("  New version of package " + logForm(provider) + " that provides " + name + " is not available");
            section_available = false;
        }
    }

    is_comp_installed |= section_installed;
    is_comp_available |= section_available;
    is_comp_installed_latest = section_installed && section_latest;
}

void ComponentStatusChecker::checkBuildPackages()
{
    if (!component->packages.empty()) {
        debug(" Iterate for build packages...");
        is_comp_installed_latest = true;
        is_comp_available = true;
    }
    for (const Package* package : component->packages) {
        available.note(package);
        const Package* present = installedPackage(repository, fileops::basename(package->getName().c_str()));
        installed.note(present);
        if (present) {
            is_comp_installed = true;
            debug("  Compare system " + logForm(present) + "\n" + "      with build " + logForm(package));
            if (present->getVersion() < package->getVersion())
                is_comp_installed_latest = false;
            debug("   currently is_comp_installed_latest=" + flag(is_comp_installed_latest));
        } else {
            debug(std::string("  Package ") + package->getName().c_str() + " is not installed");
            is_comp_installed_latest = false;
        }
    }
}

void ComponentStatusChecker::noteBuildTimesOnly()
{
    for (const Package* package : component->packages)
        available.build_time = std::max(available.build_time, package->getBuildTime());
}

// Packages of a lazily loaded addon count only for the components of that very addon build.
class IncludeFromLazyAddon : public Package::Predicate {
public:
    explicit IncludeFromLazyAddon(const boost::shared_ptr<Build>& lazy_build_) : lazy_build(lazy_build_) {}

    bool operator()(const Package* package) const override
    {
        const SourceConfigLazyAddon* source = dynamic_cast<const SourceConfigLazyAddon*>(package->getSource());
        if (!source)
            return true;
        if (!lazy_build)
            return false;
        return source->getBuild().lock() == lazy_build;
    }

private:
    boost::shared_ptr<Build> lazy_build;
};

}  // namespace

KwComponent::KwComponent(const boost::shared_ptr<Build>& build_, const std::string& name_,
                         const std::string& description_, const std::string& environment_,
                         const std::vector<BuildInfFile::keypackages_t>& sections)
    : build(build_)
{
    if (!build)
        throw internal_error(__FILE__, LINE_NO_BUILD);
    name = name_;
    description = description_;
    environment = environment_;
    keypackages = sections;
}

KwComponent::KwComponent(const boost::shared_ptr<Build>& build_, const char* text) : Component(text), build(build_)
{
    if (!build)
        throw internal_error(__FILE__, LINE_NO_BUILD_TEXT_FORM);
}

KwComponent::~KwComponent() = default;

char KwComponent::getStatusChar() const
{
    // Decided before the mode is read: a removal shows even on an unchecked component.
    if (request == REQ_REMOVE)
        return 'X';
    const install_mode_t mode = getInstallMode();
    if (mode == UP2DATE)
        return '=';
    if (mode == ERROR)
        return '!';
    return request == REQ_INSTALL ? '*' : ' ';
}

std::string KwComponent::getDescription() const
{
    return description;
}

std::string KwComponent::getProductId() const
{
    return productIdOf(build.get());
}

KwComponent::install_mode_t KwComponent::getInstallMode() const
{
    if (install_mode == NOT_CHECKED)
        throw internal_error(__FILE__, LINE_MODE_NOT_CHECKED);
    return install_mode;
}

std::string KwComponent::getInstallModeName() const
{
    switch (getInstallMode()) {
    case INSTALL: return "install";
    case UPGRADE: return "upgrade";
    case UP2DATE: return "up2date";
    case ERROR: return "error";
    default: throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_unkn_comp_status");
    }
}

std::string KwComponent::getFullName() const
{
    const std::string product = getProductId();
    return product.empty() ? name : product + "/" + name;
}

void KwComponent::requestInstall()
{
    if (getInstallMode() == ERROR)
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_comp_notavail"), getFullName());
    request = REQ_INSTALL;
}

void KwComponent::requestRemove()
{
    if (getInstallMode() == ERROR)
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_comp_notavail"), getFullName());
    if (required && isInstalled() && request != REQ_REMOVE)
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE)
            << format_message(messages.get("err_comprem_required"), getFullName());
    request = REQ_REMOVE;
}

void KwComponent::requestLeave()
{
    if (required && !isInstalled() && request == REQ_INSTALL)
        throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE)
            << format_message(messages.get("err_comp_required"), getFullName());
    request = REQ_LEAVE;
}

void KwComponent::markRequired()
{
    request = REQ_INSTALL;
    required = true;
}

bool KwComponent::isInstalled() const
{
    const install_mode_t mode = getInstallMode();
    return mode == UPGRADE || mode == UP2DATE;
}

bool KwComponent::isShown() const
{
    return !hidden || (show_installed_hidden && isInstalled());
}

bool KwComponent::isToRemove() const
{
    return request == REQ_REMOVE && isInstalled();
}

bool KwComponent::isToInstall() const
{
    const install_mode_t mode = getInstallMode();
    return request == REQ_INSTALL && (mode == INSTALL || mode == UPGRADE);
}

bool KwComponent::willBeInstalled() const
{
    return (isInstalled() && request != REQ_REMOVE) || isToInstall();
}

bool KwComponent::willBeNotInstalled() const
{
    return (!isInstalled() && request != REQ_INSTALL) || isToRemove();
}

bool KwComponent::willBeInstalledOlder() const
{
    return getInstallMode() == UPGRADE && request != REQ_INSTALL && request != REQ_REMOVE;
}

bool KwComponent::willBeInstalledNew() const
{
    return isToInstall() || (getInstallMode() == UP2DATE && request != REQ_REMOVE);
}

bool KwComponent::conflictsWith(comp_cptr_t other, const ComponentsChangeset*) const
{
    if (getProductId() != other->getProductId())
        return false;
    return contains(conflicts, other->name) || contains(other->conflicts, name);
}

bool KwComponent::isRequiredByOlder(comp_cptr_t other, const ComponentsChangeset* changeset) const
{
    if (getProductId() != other->getProductId())
        return false;
    return contains(other->hardwired_with, name) &&
           ComponentsChangeset::orDefault(changeset)->willBeInstalledOlder(other);
}

bool KwComponent::mustCheckWith(comp_cptr_t other, const ComponentsChangeset* changeset_) const
{
    if (getProductId() != other->getProductId())
        return false;
    const ComponentsChangeset* changeset = ComponentsChangeset::orDefault(changeset_);
    if (contains(requirements, other->name) && changeset->willBeNotInstalled(other))
        return true;
    if (contains(other->hardwired_with, name) && changeset->willBeInstalledOlder(other))
        return true;
    const KwRadioGroup* group = other->getRadioGroup();
    if (!group)
        return false;
    for (const std::string& required_name : requirements) {
        if (required_name != group->name || group->hasSelected(changeset))
            continue;
        if (other->isInstalled() && changeset->getRequest(other) == REQ_REMOVE)
            return true;
        if (other->name == group->default_name)
            return true;
    }
    return false;
}

void KwComponent::checkInstalled(Repository* repository, SystemSpecificConfigurator* configurator)
{
    debug("Check installation state for component " + getFullName() + ":");
    if (install_mode == ERROR)
        return;

    ComponentStatusChecker checker(this, repository, configurator);
    for (const BuildInfFile::keypackages_t& section : keypackages) {
        if (checker.is_comp_installed_latest)
            break;
        checker.checkSection(section);
    }
    debug(" by keypackages: is_comp_available=" + flag(checker.is_comp_available) + ", is_comp_installed_latest=" +
          flag(checker.is_comp_installed_latest) + ", is_comp_installed=" + flag(checker.is_comp_installed) +
          ", avbl_time=" + std::to_string(checker.available.build_time) +
          ", inst_ver=" + checker.installed.versionText() + ", avail_ver=" + checker.available.versionText());

    if (keypackages.empty() || (checker.is_comp_available && checker.is_comp_installed_latest))
        checker.checkBuildPackages();
    else
        checker.noteBuildTimesOnly();
    debug(" KwComponent: after build packages: inst_time=" + std::to_string(checker.installed.build_time) +
          ", avbl_time=" + std::to_string(checker.available.build_time) +
          ", inst_ver=" + checker.installed.versionText() + ", avail_ver=" + checker.available.versionText());
    debug(" finally check installed: is_comp_installed_latest=" + flag(checker.is_comp_installed_latest) +
          ", is_comp_available=" + flag(checker.is_comp_available) +
          ", is_comp_installed=" + flag(checker.is_comp_installed));

    if (checker.is_comp_installed_latest)
        install_mode = UP2DATE;
    else if (checker.is_comp_available)
        install_mode = checker.is_comp_installed ? UPGRADE : INSTALL;
    else
        install_mode = checker.is_comp_installed ? UPGRADE : ERROR;

    packages.insert(packages.end(), checker.missed.begin(), checker.missed.end());

    if (install_mode != ERROR) {
        available_build_time = checker.available.build_time;
        available_version = checker.available.versionText();
    }
    if (install_mode == UPGRADE || install_mode == UP2DATE) {
        installed_build_time = checker.installed.build_time;
        installed_version = checker.installed.versionText();
    }

    debug("Component " + getFullName() + ": mode=" + std::to_string(install_mode));
    Log::stream(Log::LEVEL_INFO, true) << "Component " + getFullName() + ": mode " + getInstallModeName() + ", " +
                                              " installed_buildtime=" + std::to_string(installed_build_time) + ", " +
                                              " available_buildtime=" + std::to_string(available_build_time);

    // An addon build has no release until it is attached to one.
    const boost::shared_ptr<Release>& release = build->getParent();
    if (!release)
        return;
    if (install_mode == UPGRADE)
        release->set_has_component_updates();
    else if (install_mode == INSTALL)
        release->add_updated_component(name);
}

bool KwComponent::checkKeypackageSection(Repository* repository, const BuildInfFile::keypackages_t& section) const
{
    for (const std::string& name_ : section.nokeypackages)
        if (installedPackage(repository, fileops::basename(name_)))
            return false;
    for (const std::string& name_ : section.keypackages)
        if (!installedPackage(repository, fileops::basename(name_)))
            return false;
    for (const std::string& name_ : section.keyprovides) {
        const Package* provider = repository->findNewestProvider(name_);
        if (!provider)
            return false;
        if (provider->getType() != Package::TYPE_INSTALLED)
            throw internal_error(__FILE__, LINE_SECTION_PROVIDER_NOT_INSTALLED);
    }
    return true;
}

const Package* KwComponent::findBestCandidate(const std::string& wanted, Repository* repository,
                                              SystemSpecificConfigurator* const* configurator, bool lazy) const
{
    const std::string base = fileops::basename(wanted);
    const PooledString pooled(base);
    const Package* candidates[3] = {nullptr, nullptr, nullptr};
    for (const Package* own : packages) {
        if (own->getName() == pooled) {
            candidates[0] = own;
            break;
        }
    }
    candidates[1] = lazy ? findLatestLazy(repository, base) : repository->findNewest(base);
    if (configurator && *configurator)
        candidates[2] = (*configurator)->getAvailablePackage(wanted);

    const Package* best = nullptr;
    for (const Package* candidate : candidates)
        if (candidate && (!best || best->getVersion() < candidate->getVersion()))
            best = candidate;
    return best;
}

const Package* KwComponent::findLatestLazy(Repository* repository, const std::string& wanted) const
{
    return repository->findNewestMatching(wanted, IncludeFromLazyAddon(lazy_build));
}

void KwComponent::getKeypackages(std::vector<std::string>& names) const
{
    for (const BuildInfFile::keypackages_t& section : keypackages) {
        names.insert(names.end(), section.nokeypackages.begin(), section.nokeypackages.end());
        names.insert(names.end(), section.keypackages.begin(), section.keypackages.end());
    }
}

bool KwComponent::matchesEnvironment() const
{
    if (environment.empty())
        return true;
    const std::string& system = Opsys()->environment;
    if ((system.empty() || system == "dedicated") && environment == "dedicated")
        return true;
    return system == "qz" && environment == "qz";
}
