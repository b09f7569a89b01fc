#include "installer/YumConfigurator.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <boost/format.hpp>
#include <boost/regex.hpp>
#include <boost/shared_ptr.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Package.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/GpgKeyManager.h"
#include "installer/HelperScripts.h"
#include "installer/InstallYum.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/SourceManager.h"
#include "installer/SourceZanthYum.h"

namespace {

const Messages messages;

// Runs a command with empty input, capturing its output and error output; returns the wait status.
int runCaptured(const std::string& command, bool echo, std::ostringstream& output, std::ostringstream& errors)
{
    std::istringstream input;
    POpen child(command, &input, &output, &errors);
    return child.wait(echo);
}

// One record of "info" output: its fields as the tool prints them.
struct InfoRecord {
    std::string name, version, release, epoch;

    // Takes a "Version", "Release" or "Epoch" field; other keys are not part of the record.
    void set(const std::string& key, const std::string& value)
    {
        if (key == "Version")
            version = value;
        else if (key == "Release")
            release = value;
        else if (key == "Epoch")
            epoch = value;
    }
};

// A "Key : value" line of "info" output.
bool infoField(const std::string& line, std::string& key, std::string& value)
{
    static const boost::regex field("^([[:alpha:]]+) *: (.+)$");
    boost::smatch match;
    if (!boost::regex_match(line, match, field))
        return false;
    key = match[1];
    value = match[2];
    return true;
}

std::string infoCommand(const std::string& arguments)
{
    return (boost::format("env LANG=C LC_ALL=C %1% info ") % YumConfigurator::activeTool->toolPath).str() + arguments;
}

}  // namespace

const YumConfigurator::PackageTool YumConfigurator::YUM = {
    "/usr/bin/yum", "/opt/zorv/bin/yum_install", helper_scripts::yum_install, helper_scripts::yum_install_size};
const YumConfigurator::PackageTool YumConfigurator::DNF = {
    "/usr/bin/dnf-3", "/opt/zorv/bin/dnf_install", helper_scripts::dnf_install, helper_scripts::dnf_install_size};
const YumConfigurator::PackageTool* YumConfigurator::activeTool = nullptr;

const char YumConfigurator::REPO_DIR[] = "/etc/yum.repos.d/";
const char YumConfigurator::TEMPORARY_REPO_FILE[] = "/etc/yum.repos.d/kitwright-sources.repo";

std::string YumConfigurator::persistentRepoFileOf(const std::string& productId)
{
    return REPO_DIR + productId + ".repo";
}

void YumConfigurator::detectPackageTool()
{
    if (fileops::exists(DNF.toolPath)) {
        activeTool = &DNF;
        Log::stream(Log::LEVEL_VERBOSE, true) << "Notice: seems dnf is ready to use.";
    } else if (fileops::exists(YUM.toolPath)) {
        activeTool = &YUM;
        Log::stream(Log::LEVEL_VERBOSE, true) << "Notice: seems yum is ready to use.";
    } else {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_yum_not_found");
    }
}

const char* YumConfigurator::getHelperPath()
{
    return checked_pointer<const PackageTool>(activeTool)->helperPath;
}

const Package* YumConfigurator::package_from_yum_info(const std::string& name, const std::string& version,
                                                      const std::string& release, const std::string& epoch)
{
    std::string text = version;
    if (!release.empty())
        text += "-" + release;
    if (!epoch.empty())
        text = epoch + ":" + text;
    Package* package = new Package(name, text);  // handed out for the rest of the process
    package->setFileName("package_from_yum_info");
    package->setType(Package::TYPE_SYSTEM);
    return package;
}

YumConfigurator::YumConfigurator(const std::string& setting, SourceManager* sourceManager, Repository* repository)
    : setting(setting), sourceManager(sourceManager), repository(repository)
{
}

Installer* YumConfigurator::createInstaller(ComponentManager* componentManager)
{
    return new InstallYum(repository.get(), componentManager, this);
}

void YumConfigurator::configureSources()
{
    configureKeys();
    writeRepoFiles();
}

void YumConfigurator::doConfigure()
{
    setProxyEnvironment();
    configureKeys();
    // From here a later failure, even of the repository files, ends in the release's clean-up and
    // rollback: nothing written stays behind.
    configured = true;
    writeRepoFiles();
    configureWrapper();
}

void YumConfigurator::doRemoveTemporarySources()
{
    fileops::remove(TEMPORARY_REPO_FILE);
}

void YumConfigurator::writeRepoFiles()
{
    repositoryIds.clear();
    std::map<std::string, std::unique_ptr<std::ofstream>> files;
    for (const std::shared_ptr<SourceZanthYum>& source : sourceManager->getSourcesOf<SourceZanthYum>()) {
        repositoryIds.insert(source->getRepoId());
        const bool persistent = source->isPersistent();
        const std::string path =
            persistent ? persistentRepoFileOf(source->getLiveBuild()->getParent()->prod()->id()) : TEMPORARY_REPO_FILE;
        std::unique_ptr<std::ofstream>& file = files[path];
        if (!file) {
            if (persistent)
                addPersistentFile(path);
            file.reset(new std::ofstream(path, std::ios::out | std::ios::trunc));
            if (!*file)
                throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                    << format_message(messages.get("err_filewrite2"), path.c_str(), std::strerror(errno));
            *file << (persistent ? "## Persistent repositories for Zanth Products."
                                 : "## Temporary repositories used by Zanth Installer during installation or update.");
        }
        Log::stream(Log::LEVEL_INFO, true)
            << "add repo '" << source->getRepoId() << "' to " << (persistent ? "persistent" : "temporary")
            << " source list '" << path << "'";
        *file << std::endl << std::endl << source->getSourceLine();
        if (!file->flush())
            throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
                << format_message(messages.get("err_filewrite2"), path.c_str(), std::strerror(errno));
    }
}

void YumConfigurator::configureKeys()
{
    if (Options::instance().skipGpgCheck)
        return;
    std::unique_ptr<GpgKeyManager> manager = GpgKeyManager::create();
    const std::vector<std::shared_ptr<SourceZanthYum>> sources = sourceManager->getSourcesOf<SourceZanthYum>();
    const std::vector<boost::shared_ptr<Build>> builds = signatureCheckedBuilds({sources.begin(), sources.end()});
    // The product's old keys go once, so that every build's key imported next stays installed.
    if (YumGpgKeyManager* rpmKeys = dynamic_cast<YumGpgKeyManager*>(manager.get()))
        rpmKeys->removeInstalledZanthKeys();
    for (const boost::shared_ptr<Build>& build : builds) {
        if (!build->getGpgPublicKey().empty())
            manager->importKey(build->getGpgPublicKey());
        else
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: gpg public key for " << *build
                << " is empty but gpgcheck is enabled: assume the key is installed in master product";
    }
}

void YumConfigurator::configureWrapper()
{
    const PackageTool& tool = *checked_pointer<const PackageTool>(activeTool);
    const std::string path = tool.helperPath;
    fileops::create_directory(fileops::dirname(path));
    try {
        fileops::remove(path);
    } catch (const error& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Cannot remove " << path << ": " << trim_right(e.getText());
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fwrite(tool.script, 1, tool.scriptLength, file) == tool.scriptLength;
    int reason = errno;
    if (file && std::fclose(file) != 0 && written) {
        written = false;
        reason = errno;
    }
    if (!written)
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_filewrite2"), path.c_str(), std::strerror(reason));
    chmod(path.c_str(), 0700);
    // Labels the helper for SELinux; a system without it has nothing to label.
    const std::string command = "chcon system_u:object_r:rpm_exec_t:s0 " + shell_word(path);
    std::ostringstream output, errors;
    try {
        logHelperExitStatus(runCaptured(command, true, output, errors), "configureWrapper", command, errors.str());
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "configureWrapper"
                                              << ": " << command << "\n"
                                              << errors.str();
    }
}

void YumConfigurator::logHelperExitStatus(int status, const std::string& label, const std::string& command,
                                          const std::string& errorText)
{
    if (WIFSIGNALED(status))
        Log::stream(Log::LEVEL_VERBOSE, true)
            << label << ": '" << command << "' was terminated by signal " << WTERMSIG(status);
    else if (!WIFEXITED(status))
        Log::stream(Log::LEVEL_VERBOSE, true)
            << label << ": '" << command << "' didn't exit cleanly (status = " << status << ")\n"
            << errorText;
    else if (WEXITSTATUS(status) != 0)
        Log::stream(Log::LEVEL_VERBOSE, true)
            << label << ": '" << command << "' finished with errors (rc = " << WEXITSTATUS(status) << ")\n"
            << errorText;
}

std::string YumConfigurator::doCheckConfiguration()
{
    const std::string command =
        std::string(getHelperPath()) + " -l " + shell_word(Log::getFileName()) + " --exit-on-lock";
    std::ostringstream output, errors;
    int status;
    try {
        status = runCaptured(command, false, output, errors);
        logHelperExitStatus(status, "doCheckConfiguration", command, errors.str());
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "doCheckConfiguration"
                                              << ": '" << command << "' failed to run.";
        return "";
    }
    std::string result;
    if (WIFSIGNALED(status))
        result = "Failed to check system configuration - Yum utility was terminated by signal " +
                 std::to_string(WTERMSIG(status)) + ".\n";
    else if (!WIFEXITED(status))
        result = "Failed to check system configuration - Yum utility didn't exit cleanly. Installation may fail.\n";
    else if (WEXITSTATUS(status) == 2)
        return messages.get("err_yum_no_repos");
    else if (WEXITSTATUS(status) != 0)
        result = "Failed to check system configuration - Yum utility finished with errors. Installation may fail.\n";
    return result + errors.str();
}

void YumConfigurator::prepareAvailablePackagesList(const std::vector<std::string>& names)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG prepareAvailablePackagesList";
    const std::string refresh = std::string(getHelperPath()) + " -s -l " + shell_word(Log::getFileName()) +
                                " --exit-on-lock" + " --tries=" + std::to_string(Options::instance().downloadRetries);
    try {
        std::ostringstream output, errors;
        logHelperExitStatus(runCaptured(refresh, true, output, errors), "prepareAvailablePackagesList", refresh,
                            errors.str());
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "prepareAvailablePackagesList"
                                              << ": '" << refresh << "' failed to run.";
    }
    std::string arguments;
    for (const std::shared_ptr<SourceZanthYum>& source : sourceManager->getSourcesOf<SourceZanthYum>())
        arguments += "--enablerepo=" + shell_word(source->getRepoId()) + " ";
    for (const std::string& name : names) {
        arguments += shell_word(name) + " ";
        availablePackages[name] = nullptr;
    }
    const std::string query = infoCommand(arguments + "2>/dev/null");
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: prepareAvailablePackagesList cmd = " << query;
    try {
        InfoRecord record;
        bool open = false;
        const auto store = [&] {
            if (!open)
                return;
            const Package* package = package_from_yum_info(record.name, record.version, record.release, record.epoch);
            availablePackages[record.name] = package;
            Log::stream(Log::LEVEL_DEBUG, true) << "prepareAvailablePackagesList package found : " << *package;
        };
        std::string key, value;
        for (const std::string& line : get_command_output(query)) {
            if (!infoField(line, key, value))
                continue;
            if (key == "Name") {
                store();
                record = InfoRecord{value, "", "", ""};
                open = true;
            } else {
                record.set(key, value);
            }
        }
        store();
    } catch (const error& e) {
        Log::stream(Log::LEVEL_DEBUG, true) << "prepareAvailablePackagesList failed: " << trim_right(e.getText());
    }
}

const Package* YumConfigurator::doGetAvailablePackage(const std::string& name)
{
    const auto cached = availablePackages.find(name);
    if (cached != availablePackages.end())
        return cached->second;
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG doGetAvailablePackage package not found in cache : " << name;
    try {
        const std::string query =
            infoCommand(shell_word(name) +
                        " --setopt='*.skip_if_unavailable=1' --setopt='ZANTH_*.skip_if_unavailable=0' 2>/dev/null");
        InfoRecord record;
        bool inside = false;
        std::string key, value;
        for (const std::string& line : get_command_output(query)) {
            if (!infoField(line, key, value))
                continue;
            if (key == "Name")
                inside = value == name;
            else if (inside)
                record.set(key, value);
        }
        if (!record.version.empty()) {
            const Package* package = package_from_yum_info(name, record.version, record.release, record.epoch);
            availablePackages[name] = package;
            return package;
        }
        Log::stream(Log::LEVEL_VERBOSE, true) << "Package " << name << " was not found in enabled yum repos";
        return nullptr;
    } catch (const error& e) {
        Log::stream(Log::LEVEL_DEBUG, true) << "Most probably new version of package '" << name
                                            << "' is not available from enabled repos: " << trim_right(e.getText());
        return nullptr;
    }
}
