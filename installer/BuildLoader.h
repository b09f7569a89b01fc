#ifndef KW_INSTALLER_BUILDLOADER_H
#define KW_INSTALLER_BUILDLOADER_H

#include <map>
#include <set>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/smart_ptr/owner_less.hpp>
#include <boost/weak_ptr.hpp>

#include "common/error.h"
#include "installer/BuildInfFile.h"
#include "installer/BuildManager.h"

class ComponentManager;
class FileFetcher;
class KwComponent;
class KwGroup;
class ParamManager;
class ProductInf3FileGuard;
class Repository;
class SourceConfig;
class SourceConfigLazyAddon;
class SourceManager;

// Turns the selected releases, and the addons that fit them, into the component forest of the run.
// A flow makes one loader once the releases are selected, walks the catalogue with it
// (BuildManager::visit), calls commit() and destroys it. A visit that throws ends the walk; the work
// done until then (packages in sources, installation types, settings, guards) stays, but nothing
// reaches the component manager's roots or the repository's removers without commit().
class BuildLoader : public BuildManager::Visitor {
public:
    // A component made so far; `placed` records that a group took it.
    struct loaded_component_t {
        boost::shared_ptr<KwComponent> component;
        bool placed = false;
    };

    // The failure to load a release, or the release an addon was being attached to: a copy of the
    // error's parts and codes, and the release, held weakly (the web interface drops it from the
    // catalogue).
    class ErrLoadRelease : public error {
    public:
        ErrLoadRelease(const error& cause, const boost::weak_ptr<Release>& release);
        ~ErrLoadRelease() override;

        boost::weak_ptr<Release> release;
    };

    // The caller keeps the guards of the loaded build files until the installation ends.
    typedef std::vector<boost::shared_ptr<ProductInf3FileGuard>> guards_t;

    // Makes the source of the build files' own packages over the repository, which keeps it.
    BuildLoader(Repository* repository, ComponentManager* componentManager, FileFetcher* fetcher,
                SourceManager* sourceManager, ParamManager* paramManager, guards_t* guards);
    // Warns when commit() did not run.
    ~BuildLoader() override;
    BuildLoader(const BuildLoader&) = delete;
    BuildLoader& operator=(const BuildLoader&) = delete;

    // Loads the selected release's build for the running system; an unselected one is skipped.
    void visitRelease(boost::shared_ptr<Release> release) override;
    // Attaches the addon's build to the first visited release it applies to, and loads it.
    void visitAddon(const Addon* addon) override;
    void visitBuild(const Build* build) override;
    // Builds the groups, hands the forest to the component manager and registers the removers.
    void commit();

    // Set by the caller when a release of "folioforge" is selected: the panel's own "folioforge"
    // component then stays out.
    bool skipFolioforgeComponent = false;

private:
    enum kind_t { RELEASE, ADDON, LAZY_ADDON };

    // Fetches the build file under a guard and reads it into the build; the local file.
    std::string readBuildFile(const boost::shared_ptr<Build>& build);
    void loadBuild(const boost::shared_ptr<Build>& build, const std::string& localFile, kind_t kind,
                   SourceConfig* source);
    void loadComponents(const boost::shared_ptr<Build>& build, const std::string& localFile, kind_t kind,
                        SourceConfig* source);
    static BuildInfFile::names_t makeTemplateNames(const KwComponent& component, BuildInfFile::names_t names,
                                                   const std::string& prefix);
    void loadBuildBootstrapper(const boost::shared_ptr<Build>& build, SourceConfig* source);
    void loadBuildLists(const boost::shared_ptr<Build>& build, const std::string& localFile);
    void loadInstallationTypes(const boost::shared_ptr<Build>& build);
    boost::shared_ptr<KwGroup> makeGroup(const BuildInfFile::group_t& record, const boost::shared_ptr<Build>& build);
    // The entry of the component of that name and product; null when none.
    loaded_component_t* findLoadedComponent(const std::string& name, const std::string& productId);
    SourceConfigLazyAddon* lazySourceFor(const boost::shared_ptr<Build>& build);

    Repository* repository;
    ComponentManager* componentManager;
    FileFetcher* fetcher;
    SourceManager* sourceManager;
    ParamManager* paramManager;
    guards_t* guards;
    SourceConfig* configSource;  // kept by the repository
    std::map<boost::shared_ptr<Build>, SourceConfigLazyAddon*, boost::owner_less<boost::shared_ptr<Build>>>
        lazySources;  // kept by the repository
    bool success = false;
    bool sendFeedback = false;
    std::vector<loaded_component_t> loadedComponents;
    std::vector<boost::shared_ptr<KwGroup>> groups;
    std::set<std::string> removers;
    std::vector<boost::shared_ptr<Release>> visitedReleases;
    std::vector<boost::shared_ptr<Build>> loadedBuilds;
};

#endif
