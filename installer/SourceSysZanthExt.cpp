#include "installer/SourceSysZanthExt.h"

#include <sys/stat.h>
#include <tinyxml.h>

#include <boost/regex.hpp>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Repository.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/sysutils.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/ExtensionTool.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_NOT_AN_EXTENSION = 206;

const char* const LIST_ARGUMENT = " --list";
// Perl syntax, matched against the whole line: "<code> - <title>".
const char* const LINE_PATTERN = "^([a-zA-Z0-9-]+)\\s+-\\s+(.*)$";
const size_t READ_PIECE = 4096;

}  // namespace

SourceSysZanthExt::SourceSysZanthExt(Repository* repository, ComponentManager* component_manager_)
    : Source(repository), component_manager(component_manager_)
{
}

void SourceSysZanthExt::readSystemPackagesBrief()
{
    Log::stream(Log::LEVEL_VERBOSE, true) << "Checking for installed in extension catalog packages";
    if (!component_manager)
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_no_cm");
    for (std::unique_ptr<Package>& pkg : detectInstalledExtensions()) {
        pkg->setType(Package::TYPE_INSTALLED);
        repository->addPackage(pkg.release(), this);
    }
}

void SourceSysZanthExt::readPackagesFull() {}

std::vector<std::unique_ptr<Package>> SourceSysZanthExt::detectInstalledExtensions()
{
    std::vector<std::unique_ptr<Package>> found;
    const std::string& tool = ExtensionTool::path();
    struct stat status;
    if (stat(tool.c_str(), &status) != 0) {
        Log::stream(Log::LEVEL_DEBUG, true)
            << "DEBUG skip detecting installed extensions: " << tool << " does not exist";
        return found;
    }
    std::vector<std::string> codes;
    try {
        const std::string command = shell_command({tool}) + LIST_ARGUMENT;
        const boost::regex pattern(LINE_PATTERN);
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: detecting installed extensions";
        set_env(ExtensionTool::ENV_NAME, "1");
        SystemCmd listing(command);
        char line[READ_PIECE];
        while (fgets(line, sizeof line, listing.stream)) {
            trim_in_place(line);
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: output: " << line;
            boost::cmatch match;
            if (!boost::regex_match(line, match, pattern))
                continue;
            TiXmlElement element("package");
            element.SetAttribute("name", "ext-" + match.str(1));
            element.SetAttribute("file", "");
            element.SetAttribute("arch", "noarch");
            std::unique_ptr<Package> pkg(Package::createFromXml(&element, Package::TYPE_EXTENSION));
            if (pkg)
                pkg->setElement(nullptr);  // the element lives only for this line
            ExtCatalogPackage* extension = dynamic_cast<ExtCatalogPackage*>(pkg.get());
            if (!extension)
                throw internal_error(__FILE__, LINE_NOT_AN_EXTENSION);
            extension->setCode(match.str(1));
            extension->setDisplayName(match.str(2));
            found.push_back(std::move(pkg));
            codes.push_back(match.str(1));
        }
        listing.check();
    } catch (const error& e) {
        unset_env(ExtensionTool::ENV_NAME);
        Log::stream(Log::LEVEL_INFO, true)
            << "WARNING: failed to detect installed extensions, error: " << trim_right(e.getText());
    }
    Log::stream line(Log::LEVEL_VERBOSE, true);
    line << "Detected installed extensions: ";
    for (const std::string& code : codes)
        line << " '" << code << "'";
    return found;
}
