#include "common/Opsys.h"

#include <sys/utsname.h>

#include <cstdlib>
#include <fstream>

#include <boost/regex.hpp>

#include "common/Log.h"
#include "common/fileops.h"
#include "common/textutils.h"

std::string Opsys::overrideName;
std::string Opsys::overrideVendor;
std::string Opsys::overrideVersion;
std::string Opsys::overrideArch;
std::string Opsys::overrideEnvironment;

namespace {

struct ReleaseFile {
    const char* path;
    const char* vendor;
};

// Looked for in this order; the first that exists names the distribution.
const ReleaseFile RELEASE_FILES[] = {
    {"/etc/debian_version", "Debian"},         {"/etc/oracle-release", "Oracle"},
    {"/etc/CloudLinux-release", "CloudLinux"}, {"/etc/almalinux-release", "AlmaLinux"},
    {"/etc/rocky-release", "Rocky"},           {"/etc/redhat-release", "RedHat"},
};

// Words of a "RedHat" release line that name the distribution more precisely, first found wins.
const std::pair<const char*, const char*> REDHAT_WORDS[] = {
    {"CentOS", "CentOS"},       {"CloudLinux", "CloudLinux"}, {"Cubbyvale", "QZLinux"},
    {"AlmaLinux", "AlmaLinux"}, {"Rocky", "Rocky"},
};

const char* const REDHAT_VENDORS[] = {"CentOS", "RedHat", "CloudLinux", "QZLinux", "AlmaLinux", "Rocky"};

bool contains(const std::string& text, const char* word)
{
    return text.find(word) != std::string::npos;
}

bool same_or_lenient(const std::string& mine, const std::string& other, bool lenient)
{
    return mine == other || (lenient && (mine.empty() || other.empty()));
}

void override_field(std::string& field, const std::string& forced)
{
    if (!forced.empty())
        field = forced;
}

// DISTRIB_ID and DISTRIB_RELEASE, taken unchanged (quotes included).
void read_lsb_release(std::string& vendor, std::string& version)
{
    if (!fileops::exists("/etc/lsb-release"))
        return;
    std::ifstream in("/etc/lsb-release");
    const boost::regex assignment("^(.+)=(.+)$");
    std::string line;
    while (std::getline(in, line)) {
        boost::smatch m;
        if (!boost::regex_match(line, m, assignment))
            continue;
        if (m[1] == "DISTRIB_ID")
            vendor = m[2];
        else if (m[1] == "DISTRIB_RELEASE")
            version = m[2];
    }
}

void read_release_file(std::string& vendor, std::string& version)
{
    for (const ReleaseFile& file : RELEASE_FILES) {
        if (!fileops::exists(file.path))
            continue;
        vendor = file.vendor;
        override_field(vendor, Opsys::overrideVendor);

        std::ifstream in(file.path);
        std::string line;
        std::getline(in, line);
        boost::smatch m;
        if (!boost::regex_match(line, m, boost::regex("[^0-9.]* ?([0-9.]+) ?.*"))) {
            override_field(version, Opsys::overrideVersion);
            return;
        }
        version = m[1];
        if (contains(line, "Enterprise Server"))
            version = "es" + version;
        else if (contains(line, "Enterprise Linux"))
            version = "el" + version;
        if (vendor == "RedHat") {
            for (const auto& word : REDHAT_WORDS) {
                if (contains(line, word.first)) {
                    vendor = word.second;
                    break;
                }
            }
        }
        return;
    }
}

// The container id of the Cubbyvale platform; 0 outside a container and on the platform's host.
int container_id()
{
    try {
        std::ifstream in("/proc/self/status");
        const boost::regex id_line("^envID:[[:space:]]*([[:digit:]]+)$");
        std::string line;
        while (std::getline(in, line)) {
            boost::smatch m;
            if (boost::regex_match(line, m, id_line))
                return std::atoi(m.str(1).c_str());
        }
    } catch (...) {
    }
    return 0;
}

bool in_cubbyvale_container(const std::string& vendor)
{
    return fileops::is_directory("/proc/qz") && container_id() > 0 && vendor != "CloudLinux";
}

}  // namespace

Opsys::opsys_rep::opsys_rep(const std::string& name_, const std::string& vendor_, const std::string& version_,
                            const std::string& arch_, const std::string& environment_)
    : name(name_), vendor(vendor_), version(version_), arch(arch_), environment(environment_)
{
}

void Opsys::opsys_rep::print(std::ostream& out) const
{
    out << "'" << vendor << "' '" << name << "' '" << version << "' '" << arch << "'";
    if (!environment.empty())
        out << " under " << environment;
}

Opsys::opsys_detect::opsys_detect()
{
    read_lsb_release(vendor, version);
    if (vendor.empty() || version.empty())
        read_release_file(vendor, version);

    if (in_cubbyvale_container(vendor))
        environment = "qz";

    struct utsname system;
    if (uname(&system) == 0) {
        arch = system.machine;
        name = system.sysname;
    }

    override_field(name, overrideName);
    override_field(vendor, overrideVendor);
    override_field(version, overrideVersion);
    override_field(arch, overrideArch);
    override_field(environment, overrideEnvironment);

    // One text: the log would show an empty field written on its own as "~empty".
    Log::stream(Log::LEVEL_VERBOSE, true) << "Got OS name " + name + ", vendor " + vendor + ", version " + version +
                                                 ", arch " + arch + ", environment " + environment;
}

Opsys::Opsys()
{
    // Made once, on the first default construction, and never destroyed.
    static const boost::shared_ptr<opsys_rep>* running = new boost::shared_ptr<opsys_rep>(new opsys_detect);
    rep = *running;
}

Opsys::Opsys(const std::string& name, const std::string& vendor, const std::string& version, const std::string& arch,
             const std::string& environment)
    : rep(new opsys_rep(name, vendor, version, arch, environment))
{
}

bool Opsys::isDebianBased() const
{
    return rep->vendor == "Debian" || rep->vendor == "Ubuntu";
}

bool Opsys::isRedHatBased() const
{
    for (const char* vendor : REDHAT_VENDORS)
        if (rep->vendor == vendor)
            return true;
    return false;
}

bool Opsys::matches(const Opsys& other, bool lenient) const
{
    return same_or_lenient(rep->vendor, other->vendor, lenient) && same_or_lenient(rep->name, other->name, lenient) &&
           versionMatches(other->version, lenient) && archMatches(other->arch, lenient);
}

bool Opsys::versionMatches(const std::string& other_version, bool lenient) const
{
    if (same_or_lenient(rep->version, other_version, lenient))
        return true;
    // Debian and the Red Hat family keep compatibility within a major version.
    if (rep->vendor == "Debian" || isRedHatBased())
        return major_version(rep->version) == major_version(other_version);
    if (rep->vendor == "Microsoft")
        return rep->version.substr(0, rep->version.find('-')) == other_version.substr(0, other_version.find('-'));
    return false;
}

bool Opsys::archMatches(const std::string& other_arch, bool lenient) const
{
    if (same_or_lenient(rep->arch, other_arch, lenient))
        return true;
    // Older x86 builds run on newer x86 machines.
    const std::string& mine = rep->arch;
    if (other_arch == "i686")
        return mine == "i586" || mine == "i486" || mine == "i386";
    if (other_arch == "i586")
        return mine == "i486" || mine == "i386";
    return false;
}
