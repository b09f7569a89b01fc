#ifndef KW_INSTALLER_KWCOMPONENT_H
#define KW_INSTALLER_KWCOMPONENT_H

#include <cstdint>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/error.h"
#include "installer/BuildInfFile.h"
#include "installer/Component.h"
#include "installer/KwCompNode.h"

class Build;
class ComponentsChangeset;
class KwComponent;
class KwRadioGroup;
class Package;
class Repository;
class SystemSpecificConfigurator;

// The change requested for a component. Stored values are not checked: printing names any other
// value "REQ_UNKNOWN".
typedef int request_mode_t;
constexpr request_mode_t REQ_UNSPECIFIED = 0;
constexpr request_mode_t REQ_LEAVE = 1;
constexpr request_mode_t REQ_INSTALL = 2;
constexpr request_mode_t REQ_REMOVE = 3;

// How changesets hold a component: by identity.
typedef boost::shared_ptr<const KwComponent> comp_cptr_t;

// A leaf of the component tree: the catalogue's description of a component, the build it comes
// from, what is installed of it on this server and the change the user requests for it.
class KwComponent : public Component, public KwCompNode {
public:
    typedef int install_mode_t;
    static constexpr install_mode_t NOT_CHECKED = 0;
    static constexpr install_mode_t INSTALL = 1;  // not installed; can be installed
    static constexpr install_mode_t UPGRADE = 2;  // installed older, or installed with nothing newer available
    static constexpr install_mode_t UP2DATE = 3;  // installed in the newest version
    static constexpr install_mode_t ERROR = 4;    // not installed and not available; final

    // The build must not be null.
    KwComponent(const boost::shared_ptr<Build>& build, const std::string& name, const std::string& description,
                const std::string& environment, const std::vector<BuildInfFile::keypackages_t>& sections);
    // "name description", split as Component splits it.
    KwComponent(const boost::shared_ptr<Build>& build, const char* text);
    ~KwComponent() override;

    char getStatusChar() const override;
    std::string getDescription() const override;
    std::string getProductId() const override;

    // Reading the mode, or anything derived from it, before checkInstalled is an internal error.
    install_mode_t getInstallMode() const;
    // "install", "upgrade", "up2date" or "error".
    std::string getInstallModeName() const;
    uint64_t getAvailableBuildTime() const
    {
        if (install_mode == NOT_CHECKED)
            throw internal_error(__FILE__, LINE_AVAILABLE_BUILD_TIME);
        return available_build_time;
    }
    uint64_t getInstalledBuildTime() const
    {
        if (install_mode == NOT_CHECKED)
            throw internal_error(__FILE__, LINE_INSTALLED_BUILD_TIME);
        return installed_build_time;
    }
    const std::string& getInstalledVersion() const
    {
        if (install_mode == NOT_CHECKED)
            throw internal_error(__FILE__, LINE_INSTALLED_VERSION);
        return installed_version;
    }
    const std::string& getAvailableVersion() const
    {
        if (install_mode == NOT_CHECKED)
            throw internal_error(__FILE__, LINE_AVAILABLE_VERSION);
        return available_version;
    }
    // "product/name", or the name alone without a product id.
    std::string getFullName() const;

    request_mode_t getRequest() const { return request; }
    void requestInstall();
    void requestRemove();
    void requestLeave();
    // Written as given, without the checks of the three request operations.
    void setRequest(request_mode_t value) { request = value; }
    // The component must stay installed (the base component): requested for install for good.
    void markRequired();
    bool isRequired() const { return required; }
    void setNeedsUpgrade(bool value) { needs_upgrade = value; }
    bool needsUpgrade() const { return needs_upgrade; }

    // The component's own request and mode; a changeset without an entry for it answers with these.
    bool isInstalled() const;
    // Whether listings show the component: not hidden, or installed and shown while installed.
    bool isShown() const;
    bool isToRemove() const;
    bool isToInstall() const;
    bool willBeInstalled() const;
    bool willBeNotInstalled() const;
    bool willBeInstalledOlder() const;
    bool willBeInstalledNew() const;

    // All three are false for components of different products. A null changeset is the default one.
    bool conflictsWith(comp_cptr_t other, const ComponentsChangeset* changeset) const;
    // The other is tied to this one and stays installed in an older version.
    bool isRequiredByOlder(comp_cptr_t other, const ComponentsChangeset* changeset) const;
    // A change of the other has to be checked against this component.
    bool mustCheckWith(comp_cptr_t other, const ComponentsChangeset* changeset) const;

    // Decides the install mode, versions and build times from the key-package sections and the
    // build's packages; once ERROR, the mode stays so. The configurator may be null.
    void checkInstalled(Repository* repository, SystemSpecificConfigurator* configurator);
    // Whether the installed packages match the section.
    bool checkKeypackageSection(Repository* repository, const BuildInfFile::keypackages_t& section) const;
    // The newest of the component's own package, the repository's and the configurator's offer for
    // the name; the earlier wins among equal versions. Null when there is none.
    const Package* findBestCandidate(const std::string& name, Repository* repository,
                                     SystemSpecificConfigurator* const* configurator, bool lazy) const;
    // The newest package of the name that a lazily loaded addon may contribute to this component.
    const Package* findLatestLazy(Repository* repository, const std::string& name) const;
    // Appends each section's nokeypackages and then its keypackages.
    void getKeypackages(std::vector<std::string>& names) const;
    // Whether the component is meant for the running system's environment.
    bool matchesEnvironment() const;

    const boost::shared_ptr<Build>& getBuild() const { return build; }
    KwRadioGroup* getRadioGroup() const { return radio_group; }
    // Set by the radio group that takes the component, cleared when it lets it go.
    void setRadioGroup(KwRadioGroup* group) { radio_group = group; }

    // The build of the lazily loaded addon the component came from; set by the build loader.
    boost::shared_ptr<Build> lazy_build;
    bool deny_implicit_removal = false;

private:
    // Internal errors keep the line numbers under which support knows them.
    static constexpr int LINE_AVAILABLE_BUILD_TIME = 153;
    static constexpr int LINE_INSTALLED_BUILD_TIME = 159;
    static constexpr int LINE_INSTALLED_VERSION = 170;
    static constexpr int LINE_AVAILABLE_VERSION = 176;

    install_mode_t install_mode = NOT_CHECKED;
    request_mode_t request = REQ_LEAVE;
    bool required = false;
    bool needs_upgrade = false;
    uint64_t installed_build_time = 0;
    uint64_t available_build_time = 0;
    std::string installed_version;
    std::string available_version;
    boost::shared_ptr<Build> build;
    KwRadioGroup* radio_group = nullptr;  // not owning: the group owns its members
};

#endif
