#include "installer/ExtensionPackages.h"

#include <sstream>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "installer/ComponentsExamine.h"
#include "installer/ExtensionTool.h"

namespace {

const Messages messages;

struct ToolRun {
    int code;
    std::string output;
    std::string errors;
};

// Runs the tool with one option and its argument. The argument comes from the catalogue and reaches
// the tool as one word, unchanged. The variable stays set after a failure.
ToolRun runTool(const std::string& option, const std::string& argument)
{
    const std::string command = shell_command({ExtensionTool::path(), option, argument});
    set_env(ExtensionTool::ENV_NAME, "1");
    std::ostringstream output;
    std::ostringstream errors;
    const int code = exec_command(command, false, false, &output, &errors);
    if (code == 0)
        unset_env(ExtensionTool::ENV_NAME);
    return ToolRun{code, output.str(), errors.str()};
}

error toolFailure(const char* key, const ExtCatalogPackage& package, const ToolRun& run)
{
    return error(E_SYSTEM, REP_UNSET, SYS_UNSURE, SUPP_MAYBE)
           << format_message(messages.get(key), package.getDisplayName(), package.getCode(), run.errors);
}

void uninstall(const ExtCatalogPackage& package)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG uninstalling extension package " << package.getName();
    logProgressStep("install_remove", messages.get("install_remove") + package.getDisplayName());
    const ToolRun run = runTool("--uninstall", package.getCode());
    if (run.code == 0)
        return;
    Log::stream(Log::LEVEL_INFO, true) << "Extension package " << package.getName() << " "
                                       << package.getVersion().toString() << " uninstallation failed with code "
                                       << run.code << ", stdout: " << run.output << "\nstderr: " << run.errors;
    throw toolFailure("err_ext_package_remove", package, run);
}

void install(const ExtCatalogPackage& package)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG installing extension package " << package.getName();
    logProgressStep("install_install_package", messages.get("install_install_package") + package.getDisplayName());
    const ToolRun run = runTool("--upgrade-url", package.getDownloadUrl());
    if (run.code == 0)
        return;
    Log::stream(Log::LEVEL_INFO, true) << "Extension package " << package.getName() << " installation failed with code "
                                       << run.code << ", stdout: " << run.output << "\nstderr: " << run.errors;
    throw toolFailure("err_ext_package_install", package, run);
}

}  // namespace

void removeExtensionPackages(checked_pointer<Repository> repository, const cpkgs_t& packages)
{
    cpkgs_t markers;
    for (const Package* package : packages)
        if (isRemover(package))
            markers.push_back(package);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG remove extension packages: " << packageListText(markers);

    for (const Package* marker : markers) {
        const Package* installed = repository->getInstalledPackage(marker->getObsolete(0)->getName());
        if (const ExtCatalogPackage* extension = dynamic_cast<const ExtCatalogPackage*>(installed))
            uninstall(*extension);
    }
}

void installExtensionPackages(checked_pointer<Repository>, const cpkgs_t& packages)
{
    std::vector<const ExtCatalogPackage*> wanted;
    for (const Package* package : packages) {
        const ExtCatalogPackage* extension = dynamic_cast<const ExtCatalogPackage*>(package);
        if (!extension || extension->getType() == 's' || (extension->getType() == 'd' && extension->getRequire(0)))
            continue;
        wanted.push_back(extension);
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG install extension packages: "
                                        << packageListText(cpkgs_t(wanted.begin(), wanted.end()));

    for (const ExtCatalogPackage* extension : wanted)
        install(*extension);
}
