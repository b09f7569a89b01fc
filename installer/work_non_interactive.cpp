#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/checked_pointer.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/BuildLoader.h"
#include "installer/BuildManager.h"
#include "installer/CheckInstalled.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsExamine.h"
#include "installer/ComponentsReporter.h"
#include "installer/CustomerFeedback.h"
#include "installer/InstallationTypesReporter.h"
#include "installer/Installer.h"
#include "installer/MarkComponentsForUpgrade.h"
#include "installer/OSListReporter.h"
#include "installer/Options.h"
#include "installer/PackagesReporter.h"
#include "installer/ParamManager.h"
#include "installer/PreparePackagesList.h"
#include "installer/Product.h"
#include "installer/ProductInf3FileGuard.h"
#include "installer/ProductsReporter.h"
#include "installer/Release.h"
#include "installer/ReleasesCompatibilityChecker.h"
#include "installer/ReleasesReporter.h"
#include "installer/ReportError.h"
#include "installer/RepositoryProcessor.h"
#include "installer/SelfUpgrade.h"
#include "installer/SourceManager.h"
#include "installer/SourcesReporter.h"
#include "installer/SystemSpecificConfigurator.h"
#include "installer/auto_configurator.h"
#include "installer/driver_main.h"
#include "installer/flow_steps.h"
#include "installer/flows.h"

namespace driver {

namespace {

const Messages messages;

error user_error(int e_supp)
{
    return error(E_USER, REP_NONE, SYS_STABLE, e_supp);
}

// Prints the answer of a query and ends the run.
[[noreturn]] void answer(const Reporter& reporter)
{
    std::cout << reporter;
    std::cout.flush();
    exit_success();
}

// The catalogue asks for another program version: fetch it and run it with the same command line.
[[noreturn]] void upgrade_self(const SourceUrl& source)
{
    SelfUpgrade::get_new_version(source);
    SelfUpgrade::restart(Options::argv);
}

std::string quoted_names(const std::vector<std::string>& names)
{
    std::string text;
    for (const std::string& name : names)
        text += " '" + name + "'";
    return text;
}

std::string described(const std::vector<comp_cptr_t>& components)
{
    std::string text;
    for (const comp_cptr_t& component : components)
        text += (text.empty() ? "" : ", ") + component->getDescription() + " (" + component->name + ")";
    return text;
}

// The command word against the product's installed version.
void check_command_operation(const Options& options, const std::string& product, const std::string& installed,
                             const std::string& selected)
{
    switch (options.commandOperation) {
    case Options::INSTALL_COMMAND:
        if (!installed.empty())
            throw user_error(SUPP_NONE) << format_message(messages.get("err_prod_ver_already_installed"), installed,
                                                          product);
        break;
    case Options::UPGRADE_COMMAND:
        if (installed.empty())
            throw user_error(SUPP_NONE) << format_message(messages.get("err_prod_nocurrent"), product);
        if (installed == selected)
            throw user_error(SUPP_NONE) << format_message(messages.get("err_prod_ver_already_installed"), installed,
                                                          product);
        break;
    default: break;
    }
}

// Turns the command line's component choice of every product into requests on the forest.
void select_components(const Options& options, BuildManager& catalogue, ComponentManager& components)
{
    for (const auto& [product, selection] : options.componentSelections) {
        const std::string installed = catalogue.getInstalledVersion(product);
        check_command_operation(options, product, installed, catalogue.getSelectedReleaseVersion(product));
        Log::stream(Log::LEVEL_DEBUG, true)
            << "Determining components selection from command line options for product '" << product << "'";
        switch (selection.mode) {
        case ComponentsSelection::INSTALL_EVERYTHING:
            Log::stream(Log::LEVEL_DEBUG, true) << "All components selected to install";
            ComponentManager::setRequestMode(components.roots.begin(), components.roots.end(), REQ_INSTALL, "", false);
            break;
        case ComponentsSelection::REMOVE_EVERYTHING:
            Log::stream(Log::LEVEL_DEBUG, true) << "All components selected to remove";
            ComponentManager::setRequestMode(components.roots.begin(), components.roots.end(), REQ_REMOVE, "", false);
            break;
        case ComponentsSelection::UPGRADE_INSTALLED: {
            Log::stream(Log::LEVEL_DEBUG, true)
                << "The following components selected for upgrade: " << quoted_names(selection.componentClasses);
            ComponentManager::MarkComponentsForUpgrade upgrade(selection.componentClasses);
            components.walk(upgrade);
            upgrade.apply(components);
            break;
        }
        case ComponentsSelection::INSTALLATION_TYPE: {
            if (!installed.empty())
                throw user_error(SUPP_NONE) << messages.get("err_no_inst_types");
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Components from preset '" << selection.installationType << "' are selected";
            const InstTypes::type_t& type =
                InstTypes::getType(components.instTypes.getProduct(product), selection.installationType);
            if (type.mode == InstTypes::CUSTOM && options.commandName.empty())
                throw user_error(SUPP_NONE) << messages.get("err_custom_installation_in_non_interactive_mode");
            components.selectByInstallationType(selection.installationType, product);
            if (!selection.installComponents.empty() || !selection.removeComponents.empty())
                report_dependency_changes(&components, product, selection.installComponents,
                                          selection.removeComponents);
            break;
        }
        case ComponentsSelection::LISTED_COMPONENTS:
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Components selected for installation: " << quoted_names(selection.installComponents);
            Log::stream(Log::LEVEL_DEBUG, true)
                << "Components selected for remove: " << quoted_names(selection.removeComponents);
            report_dependency_changes(&components, product, selection.installComponents, selection.removeComponents);
            break;
        default: throw user_error(SUPP_MAYBE) << messages.get("err_no_command");
        }
    }
}

}  // namespace

void work_non_interactive()
{
    Options& options = Options::instance();
    Progress progress;

    switch (options.command) {
    case Options::ENABLE_FEEDBACK: CustomerFeedback::setEnabled(true); exit_success();
    case Options::DISABLE_FEEDBACK: CustomerFeedback::setEnabled(false); exit_success();
    case Options::SET_FEEDBACK_PRODUCT: CustomerFeedback::setProduct(options.feedbackProduct); exit_success();
    case Options::SET_FEEDBACK_GROUP_ID: CustomerFeedback::setGroupId(options.feedbackGroupId); exit_success();
    default: break;
    }
    CustomerFeedback::setNonInteractiveRun();

    // Declared in the reverse order of their release: leaving by any path first cleans up the
    // package system's configuration while everything it refers to still exists.
    checked_autoclean_pointer<Repository> repository;
    checked_autoclean_pointer<FileFetcher> fetcher;
    checked_autoclean_pointer<BuildManager> catalogue;
    checked_autoclean_pointer<ComponentManager> components;
    checked_autoclean_pointer<SourceManager> sources;
    checked_autoclean_pointer<ParamManager> params;
    BuildLoader::guards_t guards;
    checked_autoclean_pointer<ComponentsExamine> examine;
    checked_autoclean_pointer<Installer> installer;
    std::optional<ReleasesCompatibilityChecker> checker;
    std::unique_ptr<auto_configurator> configurator;

    repository.reset(new Repository);
    add_system_source(repository.get(), true);

    const SourceUrl& source = options.source;
    ReportError::set_source_url(source.url);
    fetcher.reset(new FileFetcher(SourceUrl(source.getBaseUrl()), options.target));
    try {
        catalogue.reset(new BuildManager(*fetcher, source.getFileName()));
    } catch (const SelfUpgrade::NeedSelfUpgrade&) {
        upgrade_self(source);
    }
    repository->getBriefPackagesInfo();
    catalogue->calculateReleasesState(*repository);
    options.interpretSelectors(*catalogue);

    if (options.command == Options::SHOW_ALL_RELEASES) {
        catalogue->cropReleasesByTags({}, {});
        answer(ReleasesReporter(catalogue.get(), ReleasesReporter::LIST));
    }
    if (options.command == Options::SHOW_PRODUCTS) {
        catalogue->removeNotActualReleases();
        answer(ProductsReporter(catalogue.get()));
    }
    if (options.command != Options::SHOW_OS_LIST) {
        catalogue->removeNotActualReleases();
        catalogue->cropReleasesByTags(options.releaseTiers, options.selectedReleaseIds);
    }
    if (options.releaseSelectors.empty())
        throw user_error(SUPP_MAYBE) << messages.get("releases_no_selected");

    try {
        select_releases(catalogue.get());
        for (const boost::shared_ptr<Release>& release : catalogue->getReleases(true))
            if (release->is_selected())
                ReportError::set_product_version(release->prod()->id(), release->get_version().toString());
    } catch (const error&) {
        if (options.command == Options::SHOW_RELEASES)
            answer(ReleasesReporter(catalogue.get(), ReleasesReporter::LIST));
        throw;
    }
    if (options.command == Options::SHOW_OS_LIST)
        answer(OSListReporter(catalogue.get()));

    checker.emplace(catalogue.get(), repository.get());
    catalogue->visit(*checker);
    if (checker->isWarning())
        Log::stream(Log::LEVEL_ERROR, true) << "Warning: " << checker->warnings.str();
    if (checker->isError())
        throw user_error(SUPP_NONE) << checker->errors.str();

    components.reset(new ComponentManager);
    sources.reset(new SourceManager(repository.get()));
    params.reset(new ParamManager);
    try {
        BuildLoader loader(repository.get(), components.get(), fetcher.get(), sources.get(), params.get(), &guards);
        loader.skipFolioforgeComponent = catalogue->isProductSelected("folioforge");
        catalogue->visit(loader);
        loader.commit();
    } catch (const SelfUpgrade::NeedSelfUpgrade&) {
        upgrade_self(source);
    }
    if (options.command == Options::SHOW_INSTALLATION_TYPES)
        answer(InstallationTypesReporter(components.get()));

    sources->addExtensionsSource(components.get());
    if (options.command == Options::SHOW_SOURCES)
        answer(SourcesReporter(sources.get()));

    configurator.reset(new auto_configurator(
        create_configurator(repository.get(), fetcher.get(), source, components.get(), sources.get()),
        !options.skipCleanup));
    (*configurator)->configure();
    repository->getBriefPackagesInfo();

    ComponentManager::PreparePackagesList packageNames;
    components->walk(packageNames);
    (*configurator)->prepareAvailablePackagesList(packageNames.getNames());
    ComponentManager::CheckInstalled installedStates(repository.get(), configurator->get());
    components->walk(installedStates);
    ComponentManager::ShriveledRadioGroupsRemover radioGroups(components.get());
    components->walk(radioGroups);

    switch (options.command) {
    case Options::SHOW_COMPONENTS:
    case Options::SHOW_UPGRADABLE_COMPONENTS:
        if (options.showOptions)
            params->loadFromOptions();
        answer(ComponentsReporter(repository.get(), catalogue.get(), components.get(), params.get()));
    case Options::SHOW_RELEASES: answer(ReleasesReporter(catalogue.get(), ReleasesReporter::LIST));
    case Options::CHECK_UPDATES: answer(ReleasesReporter(catalogue.get(), ReleasesReporter::UPDATES));
    default: break;
    }

    select_components(options, *catalogue, *components);
    for (const std::string& name : options.packagesToRemove)
        components->additionalPackages.push_back(repository->addRemoverFor(name, ""));

    RepositoryProcessor repositories(repository.get(), fetcher.get(), sources.get(), configurator->get());
    components->walk(repositories);

    examine.reset(new ComponentsExamine(components.get(), fetcher.get()));
    if (!examine->doPreExamine(options.skipComponentsCheck) && hasExamineErrors(examine->getPreResults()))
        throw error(E_PACKAGES, REP_NONE, SYS_STABLE, SUPP_NEED)
            << messages.get("examine_unpassed") << "\n"
            << ExamineResultFormatter().format(examine->getPreResults());

    params->onComponentsSelected(*components);
    params->loadFromOptions();
    ReportError::set_to_install_reports(catalogue.get(), components.get());

    progress.stage(2, 3);
    installer.reset(create_installer(repository.get(), components.get(), configurator->get(), sources.get()));
    const cpkgs_t& packages = installer->resolve();
    ReportError::set_packages_report(&installer->getPackages(), repository.get());
    if (options.command == Options::SHOW_PACKAGES)
        answer(PackagesReporter(&packages, repository.get(), Reporter::xmlOutput));

    if (packages.empty()) {
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("components_allready_installed");
        return;
    }
    installer->checkPackageSet();
    const std::vector<std::string> alsoInstalled = components->needAlsoInstall(packages);
    if (!alsoInstalled.empty())
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("added_comps_by_deps") << quoted_names(alsoInstalled);
    const std::vector<comp_cptr_t> alsoRemoved = components->needAlsoRemove(packages, repository.get(), nullptr);
    if (!alsoRemoved.empty())
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("removed_comps_by_deps") << described(alsoRemoved);

    do_install(catalogue.get(), components.get(), examine.get(), fetcher.get(), installer.get(), params.get(),
               repository.get(), sources.get(), configurator.get());
}

}  // namespace driver
