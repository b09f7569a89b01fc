#include "installer/Installer.h"

#include <exception>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Progress.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Bootstrapper.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsExamine.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/ExtensionPackages.h"
#include "installer/Options.h"
#include "installer/ProductsProgress.h"
#include "installer/SystemSpecificConfigurator.h"
#include "installer/YumConfigurator.h"

namespace {

const Messages messages;

}  // namespace

const char Installer::FAILURE_FLAG_DIR[] = "/var/quillfern/";
const char Installer::FAILURE_FLAG_FILE[] = "kitwright-installation-failure.flag";

Installer::Installer(Repository* repository, ComponentManager* componentManager,
                     checked_pointer<SystemSpecificConfigurator> configurator)
    : repository(repository), componentManager(componentManager), configurator(configurator), progress(nullptr)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "Installer::Installer: create ProductsProgress";
    progress = new ProductsProgress;
}

Installer::~Installer()
{
    delete progress;
}

cpkgs_t& Installer::getPackages()
{
    return packages;
}

void Installer::commitChanges()
{
    configurator->setCommitChanges();
}

void Installer::install()
{
    Progress status;
    status.checkInterrupted();
    download();
    if (Options::instance().downloadOnly)
        return;
    status.checkInterrupted();
    status.stage(Progress::STAGE_INST, 1);
    logProgressStep("install_start", messages.get("installling_pkgs"));
    removeExtensionPackages(repository, packages);
    status.checkInterrupted();
    installPrep();
    const bool previousFailed = processInstallationFailureFlag(true);
    try {
        installPackages(packages);
    } catch (const error&) {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: Bootstrapper::performPkgsFailureActions";
        Bootstrapper::performPkgsFailureActions(*componentManager);
        throw;
    }
    installPost(previousFailed);
    processInstallationFailureFlag(false);
    status.checkInterrupted();
    installExtensionPackages(repository, packages);
    status.checkInterrupted();
    Log::stream(Log::LEVEL_INFO, true) << "Install command successfully completed";
}

void Installer::installPrep()
{
    if (!bootstrapperPackages.empty())
        installPackages(bootstrapperPackages);
    Log::stream(Log::LEVEL_DEBUG, true) << "installPrep: Perform PREP actions";
    if (!Bootstrapper::performActions(*componentManager, "prep", false))
        throw error(E_SYSTEM, REP_UNSET, SYS_UNSURE, SUPP_MAYBE) << messages.get("err_prep_actions_failed");
}

void Installer::installPost(bool previousFailed)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "installPost: Perform POST actions";
    if (!Bootstrapper::performActions(*componentManager, "post", previousFailed))
        throw error(E_SYSTEM, REP_UNSET, SYS_UNSURE, SUPP_MAYBE) << messages.get("err_post_actions_failed");
}

bool Installer::processInstallationFailureFlag(bool set)
{
    const std::string path = std::string(FAILURE_FLAG_DIR) + FAILURE_FLAG_FILE;
    try {
        if (!set) {
            fileops::remove(path);
            return false;
        }
        if (fileops::exists(path)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG installation failure flag file exists: " << path;
            Log::stream(Log::LEVEL_INFO, true)
                << "WARNING: Failure of previous installation was detected! Bootstrapper post-actions will be "
                   "executed for all components at the end of the current installation.";
            return true;
        }
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG installation failure flag file does not exist: " << path;
        // On a fresh server the directory may not be there yet: without it a crash would go unnoticed.
        fileops::create_directory(FAILURE_FLAG_DIR);
        fileops::create_empty_file(path);
    } catch (const error& e) {
        Log::stream(Log::LEVEL_INFO, true) << "Error occured while trying to process installation failure flag file: '"
                                           << path << "'. ERROR: " << trim_right(e.getText());
    } catch (const std::exception& e) {
        Log::stream(Log::LEVEL_INFO, true)
            << "Exception occured while trying to process installation failure flag file: '" << path
            << "'. ERROR: " << e.what();
    } catch (...) {
        Log::stream(Log::LEVEL_INFO, true)
            << "Unknown error occured while trying to process installation failure flag file: " << path;
    }
    return false;
}

void Installer::checkPackageSet()
{
    Log::stream(Log::LEVEL_INFO, true) << "Check package set before installation";
    for (const Package* package : packages) {
        if (package->getType() == Package::TYPE_INSTALLED)
            continue;
        const Package* installed = repository->getInstalledPackage(package->getName());
        if (!installed)
            continue;
        // The apt and yum configurators leave downgrades to the system's package tool.
        if (dynamic_cast<DebianAPTConfigurator*>(configurator.get()) ||
            dynamic_cast<YumConfigurator*>(configurator.get()))
            continue;
        if (package->getVersion() < installed->getVersion()) {
            Log::stream(Log::LEVEL_INFO, true)
                << "Package " << *package << " is within installation list\nbut newer package " << *installed
                << " is already installed in system.";
            throw error(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << format_message(messages.get("err_downgrade"), installed->getName().c_str());
        }
    }
}

void Installer::download()
{
    if (Options::instance().systemPackagesCache.empty())
        repository->download(packages, ProductsProgress::instance());
}
