#include "installer/BuildLoader.h"

#include <algorithm>
#include <sstream>

#include <boost/make_shared.hpp>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/PkgManager.h"
#include "common/Repository.h"
#include "common/fileops.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/Bootstrapper.h"
#include "installer/ComponentManager.h"
#include "installer/CustomerFeedback.h"
#include "installer/InstTypes.h"
#include "installer/KwComponent.h"
#include "installer/KwRadioGroup.h"
#include "installer/KwSubGroup.h"
#include "installer/Options.h"
#include "installer/ParamManager.h"
#include "installer/Product.h"
#include "installer/ProductInf3FileGuard.h"
#include "installer/Release.h"
#include "installer/SourceConfig.h"
#include "installer/SourceManager.h"

namespace {

const Messages messages;

// Where the paths of a build's examine scripts start: the build file's directory in the installation
// source, which the file fetcher fetches the scripts from. (The fetched copy's own directory would be
// an absolute local path, which no source holds.)
std::string examineDirectory(const Build& build)
{
    const std::string dir = fileops::path_dir(build.getConfig());
    return dir.empty() ? dir : dir + "/";
}

std::string described(const Build& build)
{
    std::ostringstream out;
    out << build;
    return out.str();
}

}  // namespace

BuildLoader::ErrLoadRelease::ErrLoadRelease(const error& cause, const boost::weak_ptr<Release>& release_)
    : error(cause.e_class, cause.e_rep, cause.e_sys, cause.e_supp), release(release_)
{
    parts = cause.parts;
}

BuildLoader::ErrLoadRelease::~ErrLoadRelease() = default;

BuildLoader::BuildLoader(Repository* repository_, ComponentManager* componentManager_, FileFetcher* fetcher_,
                         SourceManager* sourceManager_, ParamManager* paramManager_, guards_t* guards_)
    : repository(repository_), componentManager(componentManager_), fetcher(fetcher_), sourceManager(sourceManager_),
      paramManager(paramManager_), guards(guards_),
      // The packages of the components stay in the repository after the loader's end: the
      // repository keeps the source, which would take them out again when it went.
      configSource(new SourceConfig(repository_))
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader::BuildLoader() entry";
}

BuildLoader::~BuildLoader()
{
    if (!success)
        Log::stream(Log::LEVEL_VERBOSE, true) << "Warning: BuildLoader finish with unsuccess.";
}

void BuildLoader::visitRelease(boost::shared_ptr<Release> release)
{
    if (!release->is_selected())
        return;
    try {
        try {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader: visit release " + release->get_id();
            visitedReleases.push_back(release);

            const Opsys system;
            const boost::shared_ptr<Build> build = release->get_best_build(system);
            if (!build) {
                Log::stream(Log::LEVEL_INFO, true)
                    << "unable to find suitable to installation build from release " + release->get_id();
                throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_rel_notsupp");
            }
            if (!build->isCompatible(system)) {
                std::ostringstream current;
                system->print(current);
                Log::stream(Log::LEVEL_INFO, true) << "This build is not compatible with current OS: Current OS is " +
                                                          current.str() + "\n but this build for " + described(*build);
                throw error(E_USER, REP_NONE, SYS_STABLE, SUPP_NONE) << messages.get("err_build_incomp");
            }
            Log::stream(Log::LEVEL_DEBUG, true) << "BuildLoader: load " + described(*build);

            const std::string localFile = readBuildFile(build);
            const BuildInfFile& file = *build->getBuildFile();
            build->setOsReleaseName(file.os_release_name);
            build->setParametersFile(file.parameters_file);
            sendFeedback = file.send_feedback;
            loadBuild(build, localFile, RELEASE, configSource);
            if (release->get_update_mode() == Release::INSTALL)
                loadInstallationTypes(build);
        } catch (const error& e) {
            throw ErrLoadRelease(e, release);
        }
    } catch (...) {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader: release visit failed (throwing an exception).";
        throw;
    }
}

void BuildLoader::visitAddon(const Addon* addon)
{
    try {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader: visit addon " + addon->getId();
        const auto release = std::find_if(visitedReleases.begin(), visitedReleases.end(),
                                          [&](const boost::shared_ptr<Release>& r) { return addon->applicableTo(*r); });
        if (release == visitedReleases.end())
            return;
        const boost::shared_ptr<Build> build = addon->getBuilds().getBestBuild(Opsys());
        if (!build) {
            Log::stream(Log::LEVEL_VERBOSE, true) << "Addon " + addon->getId() + " have no build for current OS";
            return;
        }
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Attach addon " + addon->getId() + " to release " + (*release)->get_label();
        build->changeParent(*release);
        try {
            const std::string localFile = readBuildFile(build);
            if (addon->isLazy())
                loadBuild(build, localFile, LAZY_ADDON, lazySourceFor(build));
            else
                loadBuild(build, localFile, ADDON, configSource);
        } catch (const error& e) {
            throw ErrLoadRelease(e, *release);
        }
    } catch (...) {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader: addon visit failed (throwing an exception).";
        throw;
    }
}

void BuildLoader::visitBuild(const Build*) {}

std::string BuildLoader::readBuildFile(const boost::shared_ptr<Build>& build)
{
    const auto guard = boost::make_shared<ProductInf3FileGuard>(*fetcher, build->getConfig());
    guards->push_back(guard);
    build->setBuildFile(boost::make_shared<BuildInfFile>(guard->getLocalFile(), build->getConfig()));
    return guard->getLocalFile();
}

SourceConfigLazyAddon* BuildLoader::lazySourceFor(const boost::shared_ptr<Build>& build)
{
    SourceConfigLazyAddon*& source = lazySources[build];
    if (!source)
        source = new SourceConfigLazyAddon(repository, build);  // kept by the repository
    return source;
}

void BuildLoader::loadBuild(const boost::shared_ptr<Build>& build, const std::string& localFile, kind_t kind,
                            SourceConfig* source)
{
    loadComponents(build, localFile, kind, source);
    loadBuildBootstrapper(build, source);
    const BuildInfFile& file = *build->getBuildFile();
    build->setGpgCheck(file.gpgcheck);
    build->setGpgPublicKey(file.gpg_public_key);
    if (kind != LAZY_ADDON)
        sourceManager->addBuildSources(*fetcher, build);
    loadBuildLists(build, localFile);
    build->setUninstallSupport(file.uninstall_support);
    const std::string dir = examineDirectory(*build);
    for (BuildInfFile::examine_t entry : file.examines) {
        entry.directory = dir;
        build->addExamine(entry);
    }
    for (Package* package : file.thirdparty_packages)
        source->addPackage(package);
    for (Package* package : file.ext_catalog_packages)
        source->addPackage(package);
}

void BuildLoader::loadComponents(const boost::shared_ptr<Build>& build, const std::string& localFile, kind_t kind,
                                 SourceConfig* source)
{
    BuildInfFile& file = *build->getBuildFile();
    const std::string dir = examineDirectory(*build);
    Log::stream(Log::LEVEL_DEBUG, true) << "Load components from build " + localFile;
    Log::stream(Log::LEVEL_DEBUG, true) << "Debug: from inf " << file.components.size() << " components";
    for (const auto& c : file.components)
        Log::stream(Log::LEVEL_DEBUG, true) << c->name;

    for (const boost::shared_ptr<BuildInfFile::component_t>& record : file.components) {
        const BuildInfFile::component_t& c = *record;
        if (c.name == "dummy_component_name_for_include") {
            const std::string local = fetcher->getFile(c.description, "", "");
            throw error() << local + "  included components inside .build.inf3 temporary not supported";
        }
        if (skipFolioforgeComponent && file.product_id == "zanth" && c.name == "folioforge") {
            Log::stream(Log::LEVEL_DEBUG, true) << "Skip component " + c.name + " by some hack";
            continue;
        }
        const auto earlier =
            std::find_if(loadedComponents.begin(), loadedComponents.end(),
                         [&](const loaded_component_t& loaded) { return loaded.component->name == c.name; });
        if (earlier != loadedComponents.end() && kind == RELEASE) {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Skip component " + c.name + " from " + localFile + " - it has already come from <include> or addon";
            continue;
        }

        const auto k = boost::make_shared<KwComponent>(build, c.name, c.description, c.environment, c.keypackages);
        if (kind == LAZY_ADDON)
            k->lazy_build = build;
        if (!k->matchesEnvironment()) {
            Log::stream(Log::LEVEL_VERBOSE, true) << "Skip component " + c.name + " because incompatible environment";
            for (BuildInfFile::insttype_t& type : file.insttypes)
                type.components.erase(std::remove(type.components.begin(), type.components.end(), c.name),
                                      type.components.end());
            Log::stream(Log::LEVEL_DEBUG, true) << "Removed component " + c.name + " from all installation types";
            continue;
        }
        k->requirements = c.requirements;
        k->hardwired_with = c.hardwired_with;
        k->conflicts = c.conflicts;
        k->uninstall_support = c.uninstall_support;
        k->show_installed_hidden = c.show_installed_hidden;
        k->hidden = c.hidden && !Options::instance().showHiddenComponents;
        if (!file.yx_template_suffix.empty())
            k->yxtemplates = makeTemplateNames(*k, c.yxtemplates, file.yx_template_prefix);
        k->packages.assign(c.packages.begin(), c.packages.end());
        k->expackages = c.expackages;
        k->rmpackages = c.rmpackages;
        for (BuildInfFile::examine_t entry : c.examines) {
            entry.directory = dir;
            k->examines.push_back(entry);
        }
        k->classes.insert(c.classes.begin(), c.classes.end());
        for (Package* package : c.packages)
            source->addPackage(package);
        k->bootstrapper_packages.assign(c.bootstrapper_packages.begin(), c.bootstrapper_packages.end());
        for (Package* package : c.bootstrapper_packages)
            source->addPackage(package);
        if (c.bootstrapper)
            Bootstrapper::loadActions(k->bootstrapper_actions, c.bootstrapper, k->name);
        if (c.settings)
            paramManager->createParams(k, tinybind::element(c.settings));

        if (earlier == loadedComponents.end()) {
            loadedComponents.push_back(loaded_component_t{k, false});
        } else {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Overwrite component " + c.name + " with component from <include> or addon at " + localFile;
            earlier->component = k;
        }
        k->deny_implicit_removal = c.deny_implicit_removal;
    }

    Log::stream(Log::LEVEL_DEBUG, true) << "Debug: after create KwComponent objects: " << loadedComponents.size()
                                        << " components";
    for (const loaded_component_t& loaded : loadedComponents)
        Log::stream(Log::LEVEL_DEBUG, true) << loaded.component->name;
    loadedBuilds.push_back(build);
}

BuildInfFile::names_t BuildLoader::makeTemplateNames(const KwComponent& component, BuildInfFile::names_t names,
                                                     const std::string& prefix)
{
    if (names.empty()) {
        const std::string base = prefix.empty() ? "zanth8" : prefix;
        const std::string name = component.name == "base" ? base : base + "-" + component.name;
        names.push_back(name);
        Log::stream(Log::LEVEL_DEBUG, true)
            << "YX template name for component " + component.name + " was generated: " + name;
    }
    return names;
}

void BuildLoader::loadBuildBootstrapper(const boost::shared_ptr<Build>& build, SourceConfig* source)
{
    const BuildInfFile& file = *build->getBuildFile();
    Build::actions_t actions;
    if (file.bootstrapper)
        Bootstrapper::loadActions(actions, file.bootstrapper, build->getParent()->get_id());
    build->attachBuildFileData(cpkgs_t(file.bootstrapper_packages.begin(), file.bootstrapper_packages.end()), actions);
    for (Package* package : file.bootstrapper_packages)
        source->addPackage(package);
}

void BuildLoader::loadBuildLists(const boost::shared_ptr<Build>& build, const std::string& localFile)
{
    const BuildInfFile& file = *build->getBuildFile();
    PkgManager::preferredPackages.insert(file.preferred_packages.begin(), file.preferred_packages.end());
    removers.insert(file.removable_packages.begin(), file.removable_packages.end());
    for (const std::string& name : file.force_remove_packages)
        sourceManager->addForceRemovePackage(name);
    if (!file.yx_template_suffix.empty())
        sourceManager->setOsTemplateName(file.yx_template_suffix);
    else
        Log::stream(Log::LEVEL_VERBOSE, true) << "Warning: yx_template_suffix is NOT defined in  " + localFile;
}

void BuildLoader::loadInstallationTypes(const boost::shared_ptr<Build>& build)
{
    const BuildInfFile& file = *build->getBuildFile();
    InstTypes& types = componentManager->instTypes;
    bool full = false;
    for (const BuildInfFile::insttype_t& t : file.insttypes) {
        // The reader refuses a type declared without components; this one lost them all to the
        // environment, and the rest of the file is still good for this server.
        if (t.components.empty()) {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Skip installation type '" + t.name + "': no component left for this environment";
            continue;
        }
        const std::vector<std::string> names = split_comma_list(t.name);
        types.addType(*build, InstTypes::type_t{names, t.description, InstTypes::DECLARED, t.components});
        full = full || std::find(names.begin(), names.end(), "Full") != names.end();
    }
    if (!full)
        types.addType(*build, InstTypes::type_t{{"Full"}, "Install all components.", InstTypes::FULL, {}});
    types.addType(
        *build,
        InstTypes::type_t{
            {"Custom"}, "Custom components selection. Recommended only for experienced users.", InstTypes::CUSTOM, {}});
}

void BuildLoader::commit()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: BuildLoader::commit() entry";
    for (const boost::shared_ptr<Build>& build : loadedBuilds)
        for (const BuildInfFile::group_t& record : build->getBuildFile()->groups)
            if (const boost::shared_ptr<KwGroup> group = makeGroup(record, build))
                groups.push_back(group);
    for (const loaded_component_t& loaded : loadedComponents)
        if (!loaded.placed)
            componentManager->roots.push_back(loaded.component);
    for (const boost::shared_ptr<KwGroup>& group : groups)
        if (!group->isEmpty())
            componentManager->roots.push_back(group);
    for (const std::string& name : removers)
        repository->addRemoverFor(name, "");
    if (visitedReleases.empty())
        Log::stream(Log::LEVEL_ERROR, true) << "Warning: no any release selected!";
    Log::stream(Log::LEVEL_VERBOSE, true) << "BuildLoader: " << visitedReleases.size() << " releases processed";
    CustomerFeedback::setAllowed(sendFeedback);
    success = true;
}

boost::shared_ptr<KwGroup> BuildLoader::makeGroup(const BuildInfFile::group_t& record,
                                                  const boost::shared_ptr<Build>& build)
{
    const std::string productId = build->getParent()->prod()->id();
    if (record.radio) {
        const auto group = boost::make_shared<KwRadioGroup>(build, record.name, record.description);
        group->default_name = record.default_member;
        if (record.switch_rules) {
            group->switch_rules = true;
            for (const auto& allowed : record.allowed_switches)
                group->addAllowedSwitch(allowed.first, allowed.second);
        }
        for (const std::string& member : record.members) {
            loaded_component_t* loaded = findLoadedComponent(member, productId);
            if (!loaded) {
                Log::stream(Log::LEVEL_DEBUG, true) << "components group warning: unable to find specified component " +
                                                           member + " for group " + record.name + ", ignore";
                continue;
            }
            group->add(loaded->component);
            loaded->placed = true;
        }
        return group;
    }
    const auto group = boost::make_shared<KwSubGroup>(build, record.name, record.description);
    for (const std::string& member : record.members) {
        loaded_component_t* loaded = findLoadedComponent(member, productId);
        if (!loaded) {
            Log::stream(Log::LEVEL_DEBUG, true) << "Components grouping warning: unable to find component with name " +
                                                       member + " for group '" + record.name + "'";
            continue;
        }
        group->children.push_back(loaded->component);
        loaded->placed = true;
    }
    for (const BuildInfFile::group_t& nested : record.groups)
        if (const boost::shared_ptr<KwGroup> child = makeGroup(nested, build))
            group->children.push_back(child);
    return group;
}

BuildLoader::loaded_component_t* BuildLoader::findLoadedComponent(const std::string& name, const std::string& productId)
{
    for (loaded_component_t& loaded : loadedComponents)
        if (loaded.component->name == name && loaded.component->getProductId() == productId)
            return &loaded;
    return nullptr;
}
