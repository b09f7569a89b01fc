#include "installer/DebianAPTConfigurator.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <boost/regex.hpp>
#include <boost/shared_ptr.hpp>

#include "common/DebPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/POpen.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/GpgKeyManager.h"
#include "installer/InstallDeb.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/Release.h"
#include "installer/SourceManager.h"
#include "installer/SourceZanthApt.h"

namespace {

const Messages messages;

const char APT_CACHE_POLICY[] = "apt-cache policy";

// The candidate version of an "apt-cache policy" line, or "" when the line gives none.
std::string candidateOf(const std::string& line)
{
    static const boost::regex candidate("Candidate: (.+)");
    boost::smatch match;
    if (!boost::regex_match(line, match, candidate))
        return "";
    return match[1] == "(none)" ? "(none)" : match[1].str();
}

// The command that asks apt-cache in plain English for the policy of the names.
std::string policyCommand(const std::vector<std::string>& names)
{
    std::string command = std::string("env LANG=C LC_ALL=C ") + APT_CACHE_POLICY + " ";
    for (const std::string& name : names)
        command += shell_word(name) + " ";
    return command + "2>/dev/null";
}

const Package* makeAptPackage(const std::string& name, const std::string& version)
{
    DebPackage* package = new DebPackage(name, version);  // handed out for the rest of the process
    package->setFileName("package_from_apt_cache");
    package->setType(Package::TYPE_SYSTEM);
    return package;
}

}  // namespace

const char DebianAPTConfigurator::LIST_DIR[] = "/etc/apt/sources.list.d/";
const char DebianAPTConfigurator::TEMPORARY_LIST[] = "/etc/apt/sources.list.d/50mk_kitwright.list";

std::string DebianAPTConfigurator::persistentListOf(const std::string& productId)
{
    return LIST_DIR + productId + ".list";
}

DebianAPTConfigurator::DebianAPTConfigurator(const std::string& setting, ComponentManager*,
                                             SourceManager* sourceManager, Repository* repository)
    : setting(setting), sourceManager(sourceManager), cdromSourceFound(false), repository(repository)
{
}

Installer* DebianAPTConfigurator::createInstaller(ComponentManager* componentManager)
{
    return new InstallDeb(repository, componentManager, this);
}

void DebianAPTConfigurator::configureSources()
{
    writeSourceLists();
    configureKeys();
    process_apt_get_update(true);
}

void DebianAPTConfigurator::doConfigure()
{
    setProxyEnvironment();
    writeSourceLists();
    // From here a later failure still ends in the release's clean-up and rollback.
    configured = true;
    configureKeys();
    if (Opsys()->arch == "x86_64")
        registerNewArchitecture("i386");
    process_apt_get_update(true);
    checkSourceForCurrentRelease();
}

void DebianAPTConfigurator::doRemoveTemporarySources()
{
    if (fileops::exists(TEMPORARY_LIST))
        fileops::remove(TEMPORARY_LIST);
}

void DebianAPTConfigurator::writeSourceLists()
{
    if (!fileops::exists(LIST_DIR))
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE)
            << "Can't configure APT sources: " << LIST_DIR << " not found.";
    std::map<std::string, std::unique_ptr<std::ofstream>> files;
    for (const std::shared_ptr<SourceZanthApt>& source : sourceManager->getSourcesOf<SourceZanthApt>()) {
        const boost::shared_ptr<Build> build = source->getLiveBuild();
        const bool persistent = source->isPersistent();
        const std::string path = persistent ? persistentListOf(build->getParent()->prod()->id()) : TEMPORARY_LIST;
        std::unique_ptr<std::ofstream>& file = files[path];
        if (!file) {
            if (persistent)
                addPersistentFile(path);
            file.reset(new std::ofstream(path, std::ios::out | std::ios::trunc));
            if (!*file)
                throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE) << "Can't write APT source list " << path;
            *file << (persistent ? "## Persistent repositories for Zanth Products."
                                 : "## Temporary repositories used by Zanth Installer during installation or update.");
        }
        const std::string line = source->getSourceLine();
        Log::stream(Log::LEVEL_INFO, true)
            << "add line '" << line << "' to " << (persistent ? "persistent" : "temporary") << " source list '" << path
            << "'";
        *file << std::endl << line;
        if (!*file)
            throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE) << "Can't write APT source list " << path;
    }
}

void DebianAPTConfigurator::configureKeys()
{
    if (Options::instance().skipGpgCheck)
        return;
    AptGpgKeyManager keys;
    const std::vector<std::shared_ptr<SourceZanthApt>> sources = sourceManager->getSourcesOf<SourceZanthApt>();
    const std::vector<boost::shared_ptr<Build>> builds = signatureCheckedBuilds({sources.begin(), sources.end()});
    addPersistentFile(AptGpgKeyManager::getKeyringPath());
    addPersistentFile(AptGpgKeyManager::getTrustedPartKeyringPath());
    addPersistentFile(AptGpgKeyManager::getLegacyKeyringPath());
    for (const boost::shared_ptr<Build>& build : builds) {
        if (!build->getGpgPublicKey().empty())
            keys.importKey(build->getGpgPublicKey());
        else
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG: gpg public key for build " << *build
                << " is empty but gpgcheck is enabled: assume the key is installed in master product";
    }
    keys.exportKeyring(AptGpgKeyManager::getKeyringPath());
    keys.exportKeyring(AptGpgKeyManager::getTrustedPartKeyringPath());
    keys.removeDuplicateTrustedKeys();
}

void DebianAPTConfigurator::process_apt_get_update(bool echo)
{
    Log::stream(Log::LEVEL_ERROR, true) << messages.get("process_apt_get_update");
    try {
        if (exec_command("apt-get update", echo, false) != 0)
            Log::stream(Log::LEVEL_ERROR, true) << "Warning: there are errors in 'apt-get update'";
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_aptget_update_exec");
        throw;
    }
}

void DebianAPTConfigurator::registerNewArchitecture(const std::string& arch)
{
    Log::stream(Log::LEVEL_ERROR, true) << format_message(messages.get("dpkg_register_new_arch"), arch.c_str());
    int status;
    try {
        status = exec_command("/usr/bin/dpkg --add-architecture " + shell_word(arch), true, false);
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_exec_dpkg_arch_register"), arch.c_str());
        throw;
    }
    if (status != 0)
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_dpkg_arch_register"), arch.c_str(), arch.c_str());
}

void DebianAPTConfigurator::checkSourceForCurrentRelease()
{
    const Opsys running;
    Log::stream(Log::LEVEL_DEBUG, true)
        << "DEBUG: checkSourceForCurrentRelease: find source compatible with OS release " << running->version;
    static const boost::regex release("\\s*release.+v=(.+?),(.*)");
    bool found = false;
    std::set<std::string> sections;
    {
        SystemCmd policy(APT_CACHE_POLICY);
        char buffer[4096];
        while (std::fgets(buffer, sizeof buffer, policy.stream)) {
            std::string line = buffer;
            if (line.find("cdrom://") != std::string::npos)
                cdromSourceFound = true;
            if (!line.empty() && line.back() == '\n')
                line.pop_back();
            boost::smatch match;
            if (!boost::regex_match(line, match, release))
                continue;
            const std::string version = match[1];
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: checkSourceForCurrentRelease: " << version;
            if (running.matches(Opsys("", "", version, "", ""), true))
                found = true;
            const std::string rest = match[2];
            const std::string::size_type at = rest.find("c=");
            if (at != std::string::npos) {
                const std::string section = rest.substr(at + 2, rest.find(',', at) - at - 2);
                Log::stream(Log::LEVEL_DEBUG, true)
                    << "DEBUG: checkSourceForCurrentRelease: add found section '" << section << "'";
                sections.insert(section);
            }
        }
        const int code = policy.wait();
        if (code != 0)
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Warning: apt-cache policy command failed (" << code << "). Continue.";
    }
    if (!found) {
        std::ostringstream text;
        text << "Not found source for system packages (release " << running->version
             << ") in APT software sources configuration:\n";
        SystemCmd again(APT_CACHE_POLICY);
        char buffer[4096];
        size_t size;
        while ((size = std::fread(buffer, 1, sizeof buffer, again.stream)) > 0)
            text.write(buffer, size);
        again.wait();
        throw error() << text.str();
    }
    std::vector<const char*> wanted;
    if (running->vendor == "Ubuntu")
        wanted = {"universe", "multiverse"};
    else if (running->vendor == "Debian")
        wanted = {"contrib", "non-free"};
    for (const char* section : wanted)
        if (!sections.count(section))
            Log::stream(Log::LEVEL_ERROR, true) << "Warning: not connected '" << section << "' repository section";
}

void DebianAPTConfigurator::storeAvailable(const std::string& name, const Package* package)
{
    availablePackages[name] = package;
    Log::stream(Log::LEVEL_DEBUG, true) << "prepareAvailablePackagesList package found (" << name << ") : " << *package;
}

void DebianAPTConfigurator::prepareAvailablePackagesList(const std::vector<std::string>& names)
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "DebianAPTConfigurator::prepareAvailablePackagesList()";
    for (const std::string& name : names)
        availablePackages[name] = nullptr;
    const std::string command = policyCommand(names);
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: prepareAvailablePackagesList cmd = " << command;
    try {
        static const boost::regex header("^(\\S+):");
        std::string current;
        for (const std::string& line : get_command_output(command)) {
            boost::smatch match;
            if (boost::regex_match(line, match, header)) {
                current = match[1];
                continue;
            }
            const std::string candidate = candidateOf(line);
            if (candidate.empty())
                continue;
            if (candidate == "(none)") {
                current.clear();
                continue;
            }
            const std::string key = current.substr(0, current.find(':'));
            const Package* package = makeAptPackage(key, candidate);
            storeAvailable(key, package);
            if (current != key)
                storeAvailable(current, package);
        }
    } catch (const error& e) {
        Log::stream(Log::LEVEL_DEBUG, true) << "prepareAvailablePackagesList failed: " << e.getText();
    }
}

const Package* DebianAPTConfigurator::doGetAvailablePackage(const std::string& name)
{
    const auto cached = availablePackages.find(name);
    if (cached != availablePackages.end()) {
        if (cached->second)
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG DebianAPTConfigurator package '" << name << "' is available from cache: " << *cached->second;
        else
            Log::stream(Log::LEVEL_DEBUG, true)
                << "DEBUG DebianAPTConfigurator package '" << name << "' is present in cache but NULL";
        return cached->second;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG doGetAvailablePackage package not found in cache : " << name;
    try {
        for (const std::string& line : get_command_output(policyCommand({name}))) {
            const std::string candidate = candidateOf(line);
            if (candidate.empty())
                continue;
            if (candidate == "(none)")
                break;
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Package " << name << " with version '" << candidate << "' is available from apt";
            return makeAptPackage(name, candidate);
        }
        Log::stream(Log::LEVEL_VERBOSE, true) << "Package " << name << " not found in apt-cache";
        return nullptr;
    } catch (const error&) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << format_message(messages.get("err_deb_info_apt_cache"), name.c_str());
    }
}
