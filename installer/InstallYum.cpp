#include "installer/InstallYum.h"

#include <sys/wait.h>

#include <sstream>

#include <boost/regex.hpp>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/textutils.h"
#include "installer/ComponentManager.h"
#include "installer/Options.h"
#include "installer/ProductsProgress.h"
#include "installer/ReportError.h"
#include "installer/YumConfigurator.h"

namespace {

const Messages messages;

// The helper's argument for one package of the list; empty for what the extension steps handle.
std::string helperArgument(Repository& repository, const Package* package)
{
    if (dynamic_cast<const ExtCatalogPackage*>(package))
        return "";
    const std::string arch = package->getArch().c_str();
    const std::string archPart = arch.empty() ? "" : ":" + arch;
    if (isRemover(package)) {
        const std::string target = package->getObsolete(0)->getName();
        if (dynamic_cast<const ExtCatalogPackage*>(repository.getInstalledPackage(target)))
            return "";
        return " -r " + shell_word(target + archPart);
    }
    std::string spec = package->getName().c_str() + archPart;
    if (package->getType() == Package::TYPE_BUILD) {
        if (package->getVersion().getVersion().empty())
            throw KW_INTERNAL_ERROR();
        spec += "=" + package->getVersion().toString();
    }
    return " -i " + shell_word(spec);
}

bool holdsPackage(const cpkgs_t& list, const std::string& name, const std::string* arch)
{
    for (const Package* package : list)
        if (package->getName() == name && (!arch || *arch == package->getArch().c_str()))
            return true;
    return false;
}

bool holdsRemover(const cpkgs_t& list, const std::pair<std::string, std::string>& target)
{
    for (const Package* package : list)
        if (isRemoverFor(target, package))
            return true;
    return false;
}

}  // namespace

InstallYum::InstallYum(Repository* repository, ComponentManager* componentManager,
                       checked_pointer<SystemSpecificConfigurator> configurator)
    : Installer(repository, componentManager, configurator)
{
}

InstallYum::~InstallYum() = default;

void InstallYum::runHelper(const std::string& mode, const cpkgs_t& list, std::ostream* output)
{
    if (mode.empty())
        throw KW_INTERNAL_ERROR();
    const YumConfigurator* yum = dynamic_cast<const YumConfigurator*>(configurator.operator->());
    if (!yum)
        throw KW_INTERNAL_ERROR();
    const Options& options = Options::instance();
    std::string command = std::string(YumConfigurator::getHelperPath()) + " --" + mode;
    for (const std::string& id : yum->getRepositoryIds())
        command += " -e " + shell_word(id);
    command += " -l " + shell_word(Log::getFileName());
    if (options.debug)
        command += " -v";
    command += " --tries=" + std::to_string(options.downloadRetries);
    for (const Package* package : list)
        command += helperArgument(*repository, package);

    std::ostringstream captured, errors;
    try {
        std::istringstream input;
        int status;
        {
            POpen helper(command, &input, &captured, &errors);
            status = helper.wait(true);
        }
        if (output)
            *output << captured.str();
        if (WIFEXITED(status) && WEXITSTATUS(status) == 0)
            return;
        if (WIFEXITED(status) && WEXITSTATUS(status) == 2)
            throw error(E_PACKAGES, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_yum_no_repos");
        if (WIFSIGNALED(status))
            Log::stream(Log::LEVEL_VERBOSE, true) << "Error: The Yum utility was terminated by signal "
                                                  << WTERMSIG(status) << " while executing command '" << mode << "'.";
        throw error(E_PACKAGES, REP_NONE, SYS_BROKEN, SUPP_NEED) << messages.get("err_pkginst_yum");
    } catch (const error& e) {
        ReportError::create(-1) << "Yum failed to " << mode << " packages:" << std::endl
                                << "Error: " << trim_right(e.getText()) << std::endl
                                << "Command line: " << command << std::endl
                                << "Output:\n"
                                << captured.str() << errors.str() << std::endl;
        throw;
    }
}

cpkgs_t& InstallYum::resolve()
{
    // The bootstrapper packages reach the system only through their own helper run before the
    // "prep" actions.
    componentManager->getBootstrapperPackagesToInstall(bootstrapperPackages, repository.get());
    if (!packages.empty())
        throw KW_INTERNAL_ERROR();
    componentManager->getPackagesToInstall(packages, repository.get(), configurator);
    std::ostringstream buffer;
    runHelper("solve", packages, &buffer);

    static const boost::regex solved("^(?<act>\\+|-) (?<N>[^:=]+):(?<A>[^=]+)?=(?<EVR>.+)$");
    std::istringstream lines(buffer.str());
    for (std::string line; std::getline(lines, line);) {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: output: " << line;
        boost::smatch match;
        if (!boost::regex_match(line, match, solved))
            continue;
        const std::string name = match["N"];
        const std::string arch = match["A"];
        const std::string evr = match["EVR"];
        if (match["act"] == "+") {
            if (holdsPackage(packages, name, match["A"].matched ? &arch : nullptr))
                continue;
            const Version version(evr);
            const Package* package = repository->findPackage(name, &version, arch);
            if (!package) {
                Package* made = new Package(name, evr);  // the repository's packages live as long
                made->setArch(arch);
                made->setType(Package::TYPE_SYSTEM);
                package = made;
            }
            Log::stream(Log::LEVEL_VERBOSE, true) << "  add to install list " << *package;
            packages.push_back(package);
        } else {
            if (holdsRemover(packages, {name, arch}))
                continue;
            const Package* remover = repository->addRemoverFor(name, arch);
            Log::stream(Log::LEVEL_VERBOSE, true) << "  add to remove list " << *remover;
            packages.push_back(remover);
        }
    }
    return packages;
}

void InstallYum::installPackages(cpkgs_t& list)
{
    runHelper("perform", list, nullptr);
}

void InstallYum::download()
{
    if (Options::instance().downloadOnly)
        repository->download(packages, ProductsProgress::instance());
}
