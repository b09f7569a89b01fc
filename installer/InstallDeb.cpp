#include "installer/InstallDeb.h"

#include <sstream>

#include <boost/regex.hpp>
#include <boost/shared_ptr.hpp>

#include "common/DebPackage.h"
#include "common/Dependency.h"
#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Repository.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/ComponentsExamine.h"
#include "installer/DebianAPTConfigurator.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/ProductsProgress.h"
#include "installer/ReportError.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_RESOLVED_TWICE = 68;
const int LINE_BUILD_PACKAGE_WITHOUT_VERSION = 189;

const char LOCK_BUSY[] = "E: Could not get lock ";

InstallDeb::sleeper_t sleeper;

void sleepBetweenAttempts(int seconds)
{
    if (sleeper)
        sleeper(seconds);
    else
        sleep_seconds(seconds);
}

// Whether the list already holds a package of the name, of the architecture when one is given.
bool holdsPackage(const cpkgs_t& list, const std::string& name, const std::string* arch)
{
    for (const Package* package : list)
        if (package->getName() == name.c_str() && (!arch || *arch == package->getArch().c_str()))
            return true;
    return false;
}

// The argument that names the package to apt-get, or "" when apt-get leaves it alone.
std::string argumentFor(const Package* package, Repository& repository)
{
    if (dynamic_cast<const ExtCatalogPackage*>(package))
        return "";
    const std::string arch = package->getArch().c_str();
    const std::string archSuffix = arch.empty() ? "" : ":" + arch;
    if (package->getType() == Package::TYPE_DUMMY) {
        if (const boost::shared_ptr<Dependency> required = package->getRequire(0))
            return required->getName();
        if (!isRemover(package))
            return "";
        const std::string target = package->getObsolete(0)->getName();
        if (dynamic_cast<const ExtCatalogPackage*>(repository.getInstalledPackage(target.c_str())))
            return "";
        return target + archSuffix + "-";
    }
    if (package->getType() == Package::TYPE_BUILD) {
        const Version& version = package->getVersion();
        if (version.getVersion().empty())
            throw internal_error(__FILE__, LINE_BUILD_PACKAGE_WITHOUT_VERSION);
        return package->getName().c_str() + archSuffix + "=" + version.toString();
    }
    return package->getName().c_str() + archSuffix;
}

// What a diagnostic command prints, for the error report; nothing when it cannot run.
std::string diagnosticOutput(const std::string& command)
{
    std::ostringstream output;
    try {
        exec_command(command, false, false, &output, &output);
    } catch (const error& e) {
        output << e.getText();
    }
    return output.str();
}

}  // namespace

const char InstallDeb::APT_GET[] = "/usr/bin/apt-get";

InstallDeb::InstallDeb(Repository* repository, ComponentManager* componentManager,
                       checked_pointer<SystemSpecificConfigurator> configurator)
    : Installer(repository, componentManager, configurator),
      aptConfigurator(dynamic_cast<DebianAPTConfigurator*>(configurator.get()))
{
    if (!aptConfigurator)
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_deb_initobj");
    if (!fileops::exists(APT_GET))
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_no_apt");
}

InstallDeb::~InstallDeb() = default;

void InstallDeb::setSleeper(sleeper_t replacement)
{
    sleeper = replacement;
}

std::string InstallDeb::commandPrefix() const
{
    const Options& options = Options::instance();
    std::string releaseName = componentManager->getBaseComponent("")->getBuild()->getOsReleaseName();
    // The name stands inside single quotes, where only a quote needs care.
    std::string quoted;
    for (char c : releaseName)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    std::ostringstream prefix;
    prefix << "DEBIAN_FRONTEND=noninteractive LANG=C apt-get --assume-yes --show-upgraded --purge --no-reinstall "
              "-o APT::Get::List-Cleanup=true -o Dpkg::options::=--force-confdef "
              "-o Dpkg::options::=--force-confold "
           << " -o APT::Get::AllowUnauthenticated=" << (options.skipGpgCheck ? "true" : "false")
           << " -o Acquire::Retries=" << options.downloadRetries << " "
           << " -t '" << quoted << "*' ";
    return prefix.str();
}

std::string InstallDeb::packageArguments(const cpkgs_t& list, Repository& repository)
{
    std::string arguments;
    for (const Package* package : list) {
        const std::string argument = argumentFor(package, repository);
        if (!argument.empty())
            arguments += " " + shell_word(argument);
    }
    return arguments;
}

cpkgs_t& InstallDeb::resolve()
{
    componentManager->getBootstrapperPackagesToInstall(bootstrapperPackages, repository.get());
    if (!packages.empty())
        throw internal_error(__FILE__, LINE_RESOLVED_TWICE);
    packages = bootstrapperPackages;
    componentManager->getPackagesToInstall(packages, repository.get(), configurator);
    if (packages.empty())
        return packages;

    logProgressStep("checking_deps", messages.get("checking_deps"));
    std::string command;
    std::ostringstream output;
    int code = -1;
    try {
        command = commandPrefix() + " --just-print install " + packageArguments(packages, *repository);
        code = exec_command(command, false, false, &output, &output);
        if (code != 0) {
            Log::stream(Log::LEVEL_ERROR, true) << output.str();
            throw error(E_DEPENDENCIES, REP_NONE, SYS_STABLE, SUPP_NEED)
                << messages.get("err_installation_stopped_apt_error");
        }
        std::istringstream lines(output.str());
        std::string line;
        while (std::getline(lines, line)) {
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: output: " << line;
            addPlannedPackage(line);
        }
    } catch (const error& e) {
        reportResolveFailure(e.getText(), command, code, output.str());
        throw;
    }
    return packages;
}

void InstallDeb::addPlannedPackage(const std::string& line)
{
    static const boost::regex install("^(Inst|Conf) (?<N>[^ :]+)(:(?<A>[^ ]+))?( \\[[^ ]+\\])? \\((?<EVR>[^ ]+) .+");
    static const boost::regex removal("^(Remv|Purg) (?<N>[^ :]+)(:(?<A>[^ ]+))? \\[(?<EVR>[^ ]+)\\]$");
    boost::smatch match;
    if (boost::regex_match(line, match, install)) {
        const std::string name = match["N"];
        const std::string arch = match["A"];
        if (holdsPackage(packages, name, match["A"].matched ? &arch : nullptr))
            return;
        const DebVersion version(match["EVR"]);
        const Package* package = repository->findPackage(name.c_str(), &version, arch);
        if (!package) {
            std::unique_ptr<Package> planned(new DebPackage(name, match["EVR"]));
            if (match["A"].matched)
                planned->setArch(arch);
            planned->setType(Package::TYPE_SYSTEM);
            package = planned.get();
            plannedPackages.push_back(std::move(planned));
        }
        Log::stream(Log::LEVEL_VERBOSE, true) << "  add to install list " << *package;
        packages.push_back(package);
    } else if (boost::regex_match(line, match, removal)) {
        const std::pair<std::string, std::string> target(match["N"], match["A"]);
        if (holdsRemoverFor(packages, target))
            return;
        const Package* remover = repository->addRemoverFor(target.first, target.second);
        Log::stream(Log::LEVEL_VERBOSE, true) << "  add to remove list " << *remover;
        packages.push_back(remover);
    }
}

void InstallDeb::reportResolveFailure(const std::string& errorText, const std::string& command, int code,
                                      const std::string& output) const
{
    ReportError::create(-1) << "Apt failed to resolve packages:" << std::endl
                            << "Error: " << errorText << std::endl
                            << "Command line: " << command << std::endl
                            << "Return code: " << code << std::endl
                            << "Output:" << output << std::endl;
    ReportError::create(-1) << "Sources list:\n" << diagnosticOutput("cat /etc/apt/sources.list");
    ReportError::create(-1) << "Installed in system packages:\n" << diagnosticOutput("dpkg -l");
    Log::stream(Log::LEVEL_ERROR, true) << "\n\n" << messages.get("err_installation_stopped");
}

void InstallDeb::installPackages(cpkgs_t& list)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG:  installing packages: " << packageListText(list);
    if (list.empty())
        return;
    const std::string arguments = packageArguments(list, *repository);
    if (arguments.empty())
        return;
    std::string command;
    std::ostringstream output;
    int code = -1;
    try {
        if (aptConfigurator->isCdromSourceFound())
            Log::stream(Log::LEVEL_ERROR, true) << "\n\n" << messages.get("warn_apt_cdrom_in_source") << "\n";
        command = commandPrefix() + " install " + arguments;
        if (ProductsProgress* products = ProductsProgress::instance())
            products->start();
        for (int attempt = 0; attempt <= LOCK_RETRIES; ++attempt) {
            if (attempt > 0) {
                Log::stream(Log::LEVEL_ERROR, true) << format_message(
                    messages.get("download_retry"), messages.get("err_deb_inst_exec").c_str(), LOCK_WAIT_SECONDS);
                sleepBetweenAttempts(LOCK_WAIT_SECONDS);
                Log::stream(Log::LEVEL_ERROR, true)
                    << messages.get("installling_pkgs")
                    << format_message(messages.get("download_retry_progress"), attempt, LOCK_RETRIES);
                output.str("");
            }
            try {
                code = exec_command(command, true, false, &output, &output);
            } catch (error& e) {
                e.addMessage(E_SYSTEM, REP_NONE, SYS_UNSURE, SUPP_MAYBE) << messages.get("err_deb_inst_exec");
                throw;
            }
            if (code == 0 || output.str().find(LOCK_BUSY) == std::string::npos)
                break;
        }
        if (code != 0)
            throw error(E_PACKAGES, REP_NONE, SYS_BROKEN, SUPP_NEED) << messages.get("err_debinstall");
    } catch (const error& e) {
        ReportError::create(-1) << "Apt failed to install packages:" << std::endl
                                << "Error: " << e.getText() << std::endl
                                << "Command line: " << command << std::endl
                                << "Return code: " << code << std::endl;
        ReportError::create(-1) << "Output:\n" << output.str();
        throw;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG:  installed packages: " << arguments;
}

void InstallDeb::download()
{
    if (Options::instance().downloadOnly)
        repository->download(packages, ProductsProgress::instance());
}
