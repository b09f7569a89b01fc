#include "installer/SelfUpgrade.h"

#include <tinyxml.h>

#include <algorithm>
#include <vector>

#include <boost/algorithm/string/join.hpp>
#include <boost/algorithm/string/split.hpp>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/ProgramVersion.h"
#include "common/Version.h"
#include "common/error.h"
#include "installer/Options.h"

namespace SelfUpgrade {

namespace {

const Messages messages;

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

void check(const TiXmlElement* required)
{
    Requirement& wanted = current();
    wanted.version = attribute(required, "version");
    if (wanted.version.empty())
        return;
    wanted.binaryDirectory = attribute(required, "binary_directory");
    if (wanted.binaryDirectory.empty())
        wanted.binaryDirectory = "Zanth_Installer";
    wanted.binaryName = attribute(required, "binary_name");
    if (wanted.binaryName.empty())
        wanted.binaryName = get_binary_name();
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
