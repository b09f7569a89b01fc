#include "installer/flow_steps.h"

#include <tinyxml.h>

#include <optional>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/Source.h"
#include "common/SourceSysDeb.h"
#include "common/SourceSysRPM.h"
#include "common/Stopwatch.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/tinybind.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsChangeset.h"
#include "installer/ComponentsExamine.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/Installer.h"
#include "installer/Options.h"
#include "installer/ParamManager.h"
#include "installer/Product.h"
#include "installer/ReportError.h"
#include "installer/RepositoryProcessor.h"
#include "installer/SystemSpecificConfigurator.h"
#include "installer/TimeReport.h"
#include "installer/YumConfigurator.h"
#include "installer/auto_configurator.h"

namespace driver {

namespace {

const Messages messages;

// The process-wide values of these steps; the main thread alone touches them.
Source* systemSource = nullptr;
std::optional<std::string> cachedWarnings;
std::string lastFlavour;  // "1": the base component is packaged for Debian, "0": it is not

// The error of a selection that the user has to change.
error user_error(int e_supp)
{
    return error(E_USER, REP_NONE, SYS_STABLE, e_supp);
}

error dependencies_error()
{
    return error(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_MAYBE);
}

std::string joined(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += (text.empty() ? "" : ", ") + name;
    return text;
}

// "The following components ...: 'a' 'b'", logged when there are any.
void log_names(const char* key, const std::vector<std::string>& names)
{
    if (names.empty())
        return;
    Log::stream line(Log::LEVEL_ERROR, true);
    line << messages.get(key);
    for (const std::string& name : names)
        line << " '" << name << "'";
}

// Where the system's package lists are cached during an installation.
const char SYSTEM_PACKAGES_CACHE[] = "/tmp/kitwright_system_packages.cache";

// Marks cancelling safe again however the installation is left.
struct CancelSafeAgain {
    ~CancelSafeAgain() { Progress().markCancelSafe(); }
};

// The checks meant for a failed installation, with their results logged. Their own failure must not
// hide the installation's, which is on its way to the user.
void failure_post_examine(ComponentsExamine& examine)
{
    try {
        if (!examine.doFailurePostExamine())
            Log::stream(Log::LEVEL_ERROR, true) << messages.get("examine_post_results") << "\n"
                                                << ExamineResultFormatter().format(examine.getPostResults());
    } catch (const error& e) {
        Log::stream(Log::LEVEL_ERROR, true) << e.getText();
    } catch (const std::exception& e) {
        Log::stream(Log::LEVEL_ERROR, true) << e.what();
    }
}

}  // namespace

void add_system_source(Repository* repository, bool warnIfPresent)
{
    if (warnIfPresent && systemSource) {
        Log::stream(Log::LEVEL_ERROR, true) << "Warning: system reader Source is already allocated";
        return;
    }
    const std::string& vendor = Opsys()->vendor;
    if (vendor == "Apple")
        systemSource = nullptr;
    else if (vendor == "Debian" || vendor == "Ubuntu")
        systemSource = new SourceSysDeb(repository);
    else
        systemSource = new SourceSysRPM(repository);
}

void load_build_manager(const SourceUrl& source, const std::string& target,
                        checked_autoclean_pointer<Repository>& repository,
                        checked_autoclean_pointer<FileFetcher>& fetcher,
                        checked_autoclean_pointer<BuildManager>& buildManager)
{
    if (!repository) {
        repository.reset(new Repository);
        add_system_source(repository.get(), false);
        repository->getBriefPackagesInfo();
    }
    fetcher.reset(new FileFetcher(SourceUrl(source.getBaseUrl()), target));
    buildManager.reset(new BuildManager(*fetcher, source.getFileName()));
    buildManager->calculateReleasesState(*repository);
    const Options& options = Options::instance();
    buildManager->checkNotSupportedUpgrades(options.releaseTiers);
    buildManager->removeNotActualReleases();
    buildManager->removeHiddenForCleanInstall();
    buildManager->cropReleasesByTags(options.releaseTiers, options.selectedReleaseIds);
}

std::string get_release_id(const ReleaseSelector& selector, BuildManager* manager)
{
    const std::string& product = selector.getProductId();
    switch (selector.getKind()) {
    case ReleaseSelector::LATEST: return checked_pointer<BuildManager>(manager)->getLatestReleaseId(product);
    case ReleaseSelector::CURRENT: {
        const checked_pointer<BuildManager> catalogue(manager);
        if (catalogue->getInstalledVersion(product).empty())
            throw user_error(SUPP_MAYBE) << format_message(messages.get("err_prod_nocurrent"), product);
        const std::string id = catalogue->getCurrentReleaseId(product);
        if (id.empty())
            throw user_error(SUPP_MAYBE) << format_message(messages.get("err_rel_nocurrent"), product);
        return id;
    }
    case ReleaseSelector::ID: return selector.getReleaseId();
    default: throw internal_error("installer/main", 981);
    }
}

void select_releases(BuildManager* manager)
{
    if (!manager)
        throw internal_error("installer/main", 994);
    for (const ReleaseSelector& selector : Options::instance().releaseSelectors)
        manager->selectRelease(selector.getProductId(), get_release_id(selector, manager));
}

SystemSpecificConfigurator* create_configurator(Repository* repository, FileFetcher*, const SourceUrl& source,
                                                ComponentManager* components, SourceManager* sources)
{
    const bool debian = checked_pointer<ComponentManager>(components)->getBaseComponent("")->isDebian();
    const std::string flavour = debian ? "1" : "0";
    if (flavour != lastFlavour)
        cachedWarnings.reset();
    lastFlavour = flavour;
    if (Opsys().isRedHatBased()) {
        YumConfigurator::detectPackageTool();
        return new YumConfigurator(source.url, sources, repository);
    }
    if (debian)
        return new DebianAPTConfigurator(source.url, components, sources, repository);
    return nullptr;
}

Installer* create_installer(Repository*, ComponentManager* components, SystemSpecificConfigurator* configurator,
                            SourceManager*)
{
    return configurator ? configurator->createInstaller(components) : nullptr;
}

std::string get_configuration_warnings(SystemSpecificConfigurator* configurator)
{
    if (!cachedWarnings)
        cachedWarnings = checked_pointer<SystemSpecificConfigurator>(configurator)->checkConfiguration();
    return *cachedWarnings;
}

void report_dependency_changes(ComponentManager* components, const std::string& product,
                               const std::vector<std::string>& install, const std::vector<std::string>& remove)
{
    const checked_pointer<ComponentManager> manager(components);
    ComponentsChangeset changeset;
    ComponentsChangeset::MarkComponentsByName installs(&changeset, product, install, REQ_INSTALL, true);
    ComponentsChangeset::MarkComponentsByName removals(&changeset, product, remove, REQ_REMOVE, true);
    manager->walk(installs);
    manager->walk(removals);
    manager->resolveComponents(&changeset);

    const std::vector<comp_cptr_t> denied = changeset.getDeniedImplicitRemovals();
    if (!denied.empty()) {
        std::vector<std::string> described;
        for (const comp_cptr_t& component : denied)
            described.push_back(component->getDescription() + " (" + component->name + ")");
        throw dependencies_error() << messages.get("err_deps_deny_implicit_remove") << joined(described);
    }
    const std::vector<std::string> conflicts = changeset.getConflictNames();
    if (!conflicts.empty())
        throw dependencies_error() << messages.get("err_deps_conflict") << joined(conflicts);

    log_names("added_comps_by_deps", changeset.getImplicitInstallNames());
    log_names("removed_comps_by_deps", changeset.getImplicitRemoveNames());
    manager->applyChangeset(&changeset);
}

void do_install(BuildManager* catalogue, ComponentManager* components, ComponentsExamine* examine, FileFetcher* fetcher,
                Installer* installer, ParamManager* params, Repository* repository, SourceManager* sources,
                auto_configurator* configurator)
{
    Progress().markCancelUnsafe();
    const CancelSafeAgain cancelSafeAgain;
    checked_pointer<ParamManager>(params)->exportToFiles();
    ReportError::install_sender();
    Stopwatch stopwatch;
    stopwatch.start();
    TimeReport timeReport;
    try {
        // The addon builds that the selection needs get their repositories before the download.
        RepositoryProcessor repositories(repository, fetcher, sources,
                                         checked_pointer<auto_configurator>(configurator)->get());
        checked_pointer<ComponentManager>(components)->walk(repositories);
        try {
            checked_pointer<Installer>(installer)->install();
        } catch (...) {
            timeReport.report(catalogue, components, false);
            throw;
        }
        timeReport.report(catalogue, components, true);
        checked_pointer<BuildManager>(catalogue)->calculateReleasesState(*checked_pointer<Repository>(repository));
        run_post_examine(installer, examine);
    } catch (...) {
        failure_post_examine(*checked_pointer<ComponentsExamine>(examine));
        throw;
    }
    Log::stream(Log::LEVEL_VERBOSE, true)
        << messages.get("Kitwright") << ": installation time " << stopwatch.elapsed() << " sec.";
    Log::stream(Log::LEVEL_ERROR, true) << "\n" << messages.get("install_ok");
}

void run_post_examine(Installer* installer, ComponentsExamine* examine)
{
    checked_pointer<Installer>(installer)->commitChanges();
    ComponentsExamine& checks = *checked_pointer<ComponentsExamine>(examine);
    const Options& options = Options::instance();
    if (!checks.doPostExamine(options.skipComponentsCheck)) {
        const std::string results = ExamineResultFormatter().format(checks.getPostResults());
        if (hasExamineErrors(checks.getPostResults()))
            throw error(E_PACKAGES, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("examine_unpassed") << "\n"
                                                                      << results;
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("examine_post_results") << "\n" << results;
    }
    if (!options.skipCleanup)
        fileops::remove(SYSTEM_PACKAGES_CACHE);
}

std::string get_attribute(const TiXmlElement* element, const std::string& name)
{
    if (!element)
        throw tinybind::err(0, "no element pointer");
    const char* value = element->Attribute(name.c_str());
    return value ? value : "";
}

std::set<std::string> get_non_upgrade_products(BuildManager* manager)
{
    std::set<std::string> products;
    for (const boost::shared_ptr<Release>& release : checked_pointer<BuildManager>(manager)->getReleases(false)) {
        if (!release->is_selected())
            continue;
        const Release::update_mode_t mode = release->get_update_mode();
        if (mode != Release::MINOR_UPGRADE && mode != Release::MAJOR_UPGRADE)
            products.insert(release->prod()->id());
    }
    return products;
}

}  // namespace driver
