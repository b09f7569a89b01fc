#include "installer/SelfUpgrade.h"

#include <sys/stat.h>
#include <tinyxml.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <sstream>
#include <vector>

#include <boost/algorithm/string/join.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/filesystem.hpp>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/POpen.h"
#include "common/ProgramVersion.h"
#include "common/Regexp.h"
#include "common/Version.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/SourceUrl.h"

namespace SelfUpgrade {

namespace {

const Messages messages;

const char* const CACHE_DIR = "/var/cache/quillfern_installer";
const char* const VERSION_SWITCH = "--print-version-of-this-binary";
// Internal errors keep the line numbers under which support knows them.
const int LINE_RELEASE_WITHOUT_PRODUCT = 241;

Requirement& current()
{
    // Never destroyed: the flows read it until the process is replaced or ends.
    static Requirement* requirement = new Requirement;
    return *requirement;
}

std::string attribute(const TiXmlElement* element, const char* name)
{
    const std::string* value = element->Attribute(std::string(name));
    return value ? *value : std::string();
}

// The version as the copies' names carry it: Debian by major number, Ubuntu by major and minor, the
// Red Hat family by major number.
std::string binary_os_version(const Opsys& os)
{
    if (os->name == "Linux" && os.isDebianBased()) {
        std::vector<std::string> parts;
        boost::split(parts, os->version, [](char c) { return c == '.'; });
        parts.resize(std::min<size_t>(parts.size(), os->vendor == "Debian" ? 1 : 2));
        parts.resize(2, "0");
        return boost::join(parts, ".");
    }
    if (os.isRedHatBased())
        return os->version.substr(0, os->version.find('.'));
    return os->version;
}

// The name and the version become a file name in the cache and part of a command line: neither may
// lead out of the cache directory.
void refuse_unsafe_name(const std::string& name)
{
    if (name.find('/') != std::string::npos || name.find("..") != std::string::npos)
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
            << "The catalogue names an unsafe file for the program copy: '" << name << "'";
}

void check(const TiXmlElement* required)
{
    Requirement& wanted = current();
    const std::string version = attribute(required, "version");
    refuse_unsafe_name(version);
    wanted.version = version;
    if (wanted.version.empty())
        return;
    std::string name = attribute(required, "binary_name");
    if (name.empty())
        name = get_binary_name();
    refuse_unsafe_name(name);
    wanted.binaryName = name;
    wanted.binaryDirectory = attribute(required, "binary_directory");
    if (wanted.binaryDirectory.empty())
        wanted.binaryDirectory = "Zanth_Installer";
    wanted.md5 = attribute(required, "md5");

    const std::string own = ProgramVersion::version;
    const bool same = Version(own) == Version(wanted.version);
    Log::stream(Log::LEVEL_DEBUG, true) << "Current kitwright version '" << own << "', required = '" << wanted.version
                                        << "'";
    if (!same) {
        if (!Options::instance().disableSelfUpgrade)
            throw NeedSelfUpgrade();
        Log::stream(Log::LEVEL_INFO, true) << "Current kitwright version '" << own << "', required = '"
                                           << wanted.version << "', but won't upgrade self due --disable-self-upgrade";
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SelfUpgrade::check_required_KW_version out";
}

// Before any catalogue was read (at start) the copies are looked for under this system's name.
std::string binary_name()
{
    return current().binaryName.empty() ? get_binary_name() : current().binaryName;
}

// The first white-space-delimited word of the file; empty when it has none or cannot be read.
std::string first_word(const std::string& path)
{
    std::ifstream in(path);
    std::string word;
    in >> word;
    return word;
}

error no_md5sum()
{
    return error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_self_upgrade_no_md5sum");
}

void log_line(Log::level_t level, const std::string& text)
{
    Log::stream(level, true) << text;
}

}  // namespace

const Requirement& requirement()
{
    return current();
}

void check_required_KW_version(const TiXmlNode* element)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SelfUpgrade::check_required_KW_version entry";
    const TiXmlElement* required = element ? element->FirstChildElement("exact_required_kitwright") : nullptr;
    if (!required)
        return;
    try {
        check(required);
    } catch (error& e) {
        e.addMessage(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET) << messages.get("err_self_upgrade_failed");
        throw;
    }
}

std::string get_binary_name()
{
    const Opsys os;
    std::string arch = os->arch;
    if (arch == "i486" || arch == "i586" || arch == "i686")
        arch = "i386";
    return "quillfern_installer_" + os->vendor + "_" + binary_os_version(os) + "_" + arch;
}

}  // namespace SelfUpgrade

namespace SelfUpgrade {

std::string get_cache_dir()
{
    if (!fileops::exists(CACHE_DIR)) {
        // Copies of a program that root runs: nobody else may write or even list them.
        const mode_t saved = umask(077);
        try {
            fileops::create_directory(CACHE_DIR);
        } catch (...) {
            umask(saved);
            throw;
        }
        umask(saved);
    }
    return std::string(CACHE_DIR) + "/";
}

std::string get_cached_binary_name()
{
    const std::string name = binary_name();
    if (!current().version.empty())
        return name + "_" + current().version;
    const std::string dir = get_cache_dir();
    std::string best_text = ProgramVersion::version;
    Regexp pattern(("^" + escape_regex(name) + "_([0-9]+\\.[0-9]+\\.[0-9]+)$").c_str(), true);
    // Directory order: of two names of one version the earlier stays.
    for (boost::filesystem::directory_iterator entry(dir), end; entry != end; ++entry) {
        if (!boost::filesystem::is_regular_file(entry->status()) ||
            !pattern.matchSub(entry->path().filename().string()))
            continue;
        if (Version(best_text) < Version(pattern.getMatch(1)))
            best_text = pattern.getMatch(1);
    }
    return name + "_" + best_text;
}

std::string get_binary_version(const std::string& path)
{
    try {
        const std::string line = get_command_output_line(shell_command({path, VERSION_SWITCH}));
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: version is " + line);
        return trim(line);
    } catch (const error&) {
    } catch (const std::exception&) {
    }
    log_line(Log::LEVEL_DEBUG, "Warning: unable to get version from KW executable " + path);
    return "";
}

void get_new_version(const SourceUrl& source)
{
    log_line(Log::LEVEL_ERROR, "Getting new version of Zanth Installer...");
    const Requirement& wanted = current();
    const std::string dir = get_cache_dir();
    FileFetcher fetcher(SourceUrl(source.getBaseUrl() + wanted.binaryDirectory), dir);
    const std::string local_name = get_cached_binary_name();
    const std::string name = binary_name();

    std::string md5 = wanted.md5;
    if (md5.empty()) {
        md5 = first_word(fetcher.getFile(name + ".md5sum", "", local_name + ".md5sum"));
        if (md5.empty())
            throw no_md5sum();
    }

    const std::string path = dir + local_name;
    if (!fileops::exists(path) || get_file_md5(path) != md5) {
        const std::string fetched = fetcher.getFile(name, md5, local_name);
        // A local source hands back its own file: copied, so that the user's media stay as they were.
        if (fetched != path) {
            if (fileops::exists(path))
                fileops::remove(path);
            fileops::copy_file(fetched, path);
        }
        std::ofstream(path + ".md5sum", std::ios::trunc) << md5;
    }

    if (chmod(path.c_str(), 0500) != 0)
        throw error(E_SYSTEM, REP_LATER, SYS_STABLE, SUPP_NEED)
            << "Unable to change permissions on fresh Zanth Installer file.";

    if (!wanted.version.empty()) {
        const std::string got = get_binary_version(path);
        if (got.empty() || !(Version(got) == Version(wanted.version)))
            throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
                << format_message(messages.get("err_selfupg_avail_ver_too_low"), got);
        log_line(Log::LEVEL_DEBUG,
                 "DEBUG: SelfUpgrade: just downloaded version is satisfy requires from product's config");
    }
    log_line(Log::LEVEL_ERROR, "Getting done, Zanth Installer is ready to restart.");
}

namespace {

std::vector<char*>& restart_arguments()
{
    // Never destroyed: the process is replaced with it.
    static std::vector<char*>* arguments = new std::vector<char*>;
    return *arguments;
}

void add_argument(const std::string& text)
{
    restart_arguments().push_back(strdup(text.c_str()));
}

}  // namespace

char** get_arguments_with_state(const char* mode, const SourceUrl& source, const std::string& target,
                                const Downloader::Proxy& proxy, checked_autoclean_pointer<BuildManager>& catalogue)
{
    log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade::get_arguments_with_state entry.");
    restart_arguments().clear();
    for (char** arg = Options::argv; arg && *arg; ++arg)
        add_argument(*arg);
    for (const std::string& text : {std::string("--source"), source.url, std::string("--target"), target})
        add_argument(text);
    if (!proxy.host.empty()) {
        for (const std::string& text :
             {std::string("--proxy-host"), proxy.host, std::string("--proxy-port"), std::to_string(proxy.port)})
            add_argument(text);
        if (!proxy.user.empty())
            for (const std::string& text :
                 {std::string("--proxy-user"), proxy.user, std::string("--proxy-password"), proxy.password})
                add_argument(text);
    }

    // The selected releases; a product's own option only where the product changes, "zanth" first.
    class V : public BuildManager::Visitor {
    public:
        void visitRelease(boost::shared_ptr<Release> release) override
        {
            if (!release->is_selected())
                return;
            const std::string product_id = release->prod() ? release->prod()->id() : std::string();
            if ((kept.empty() && product_id == Options::DEFAULT_PRODUCT) || (!kept.empty() && product_id == kept)) {
                add_argument("--select-release-id");
                add_argument(release->get_id());
                return;
            }
            if (product_id.empty())
                throw internal_error(__FILE__, LINE_RELEASE_WITHOUT_PRODUCT);
            kept = product_id;
            for (const std::string& text : {std::string("--select-product-id"), product_id,
                                            std::string("--select-release-id"), release->get_id()})
                add_argument(text);
        }
        void visitAddon(const Addon*) override {}
        void visitBuild(const Build*) override {}

    private:
        std::string kept;
    };
    if (catalogue) {
        V visitor;
        catalogue->visit(visitor);
    }

    for (const char* text : {"--disable-browser", "--set-user-interaction-mode", mode})
        add_argument(text);
    restart_arguments().push_back(nullptr);
    return restart_arguments().data();
}

void restart(char** argv)
{
    log_line(Log::LEVEL_ERROR, "Doing restart of Zanth Installer...");
    const std::string path = get_cache_dir() + get_cached_binary_name();
    argv[0] = strdup(path.c_str());  // never freed: the process is replaced
    std::string line = "DEBUG: try to do execv with following args:";
    for (char** arg = argv; *arg; ++arg)
        line += std::string(" '") + *arg + "'";
    log_line(Log::LEVEL_DEBUG, line);
    execv(path.c_str(), argv);
    const int failure = errno;
    std::cerr << "Can't re-run Kitwright: " << strerror(failure) << std::endl;
    std::exit(1);
}

void run_cached_if_newer()
{
    const std::string own = ProgramVersion::version;
    log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: current version KW is " + own);
    std::string dir;
    try {
        dir = get_cache_dir();
    } catch (const error&) {
        // Not made: the status below cannot be read, and the program runs on.
    }
    struct stat status;
    if (dir.empty() || stat(dir.c_str(), &status) != 0) {
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: unable to get status of cache directory.");
        return;
    }
    if (status.st_mode & (S_IWGRP | S_IWOTH)) {
        log_line(Log::LEVEL_VERBOSE, "DEBUG: SelfUpgrade: cache directory is unsecure, avoid to using it.");
        return;
    }
    const std::string path = dir + get_cached_binary_name();
    if (Options::argv && Options::argv[0] && std::string(Options::argv[0]).compare(0, dir.size(), dir) == 0) {
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: already runing from cache.");
        return;
    }
    log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: search cached KW binary in " + path);
    if (!fileops::exists(path)) {
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: not exists, return ");
        return;
    }
    log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: exists, checking md5sum for it");
    if (!fileops::exists(path + ".md5sum")) {
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: md5sum file is not exists, return ");
        return;
    }
    // An empty checksum file counts as a mismatch: it must not stop every later start.
    const std::string expected = first_word(path + ".md5sum");
    char digest[33];
    if (expected.empty() || !md5_file(path.c_str(), digest) || expected != digest) {
        log_line(Log::LEVEL_VERBOSE, "SelfUpgrade: md5 missmatch, do not execute this file.");
        return;
    }
    const std::string version = get_binary_version(path);
    log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: version KW in cache is " + version);
    if (version.empty())
        return;
    try {
        if (Version(own) < Version(version)) {
            log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: in cache is more recent, switch to it");
            restart(Options::argv);
        }
        log_line(Log::LEVEL_DEBUG, "DEBUG: SelfUpgrade: not execute from cache, clean it.");
        fileops::remove(path);
    } catch (const error&) {
        log_line(Log::LEVEL_DEBUG, "Warning: unable to execute version from KW self-upgrade cache.");
    } catch (const std::exception&) {
        log_line(Log::LEVEL_DEBUG, "Warning: unable to execute version from KW self-upgrade cache.");
    }
}

}  // namespace SelfUpgrade
