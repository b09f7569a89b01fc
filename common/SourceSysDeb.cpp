#include "common/SourceSysDeb.h"

#include <vector>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Repository.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/sysutils.h"

namespace {

const Messages messages;

// dpkg-query complains on standard error about a name it does not know; here that only means "not
// installed".
const char NO_ERROR_TEXT[] = " 2>/dev/null";

}  // namespace

// One cache record per package that dpkg lists as "install ok ..." or "hold ok ...": the status
// line only selects the block, and the Provides field is cut into one "P:" line per entry.
// A pipeline's status is its last command's, and /bin/sh has no pipefail: dpkg-query's own status
// (and a failed awk) travel through descriptor 4, so that a failed query is not read as a short list.
const char SourceSysDeb::BRIEF_QUERY[] =
    R"cmd(exec 3>&1; status=$( { { dpkg-query --show '--showformat=s:${Status}\nF:${Package}_installed.deb\nN:${Package}\nV:${Version}\nA:${Architecture}\nP:, ${Provides}\nX:\n'; echo $? >&4; }| awk '/^s:(install|hold) ok/,/^X:/ { if (!/^s:/) print $0 }'| awk -F ', ' '/^P:, / { for (i=2; i<=NF && $i; i++) print "P:" $i; next } 1' >&3 || echo failed >&4; } 4>&1 ); [ "$status" = 0 ])cmd";

SourceSysDeb::SourceSysDeb(Repository* repository_) : Source(repository_) {}

void SourceSysDeb::readSystemPackagesBrief()
{
    logStep("check_system_packages");
    Log::stream(Log::LEVEL_INFO, true) << "DebRepository: readSystemPackagesBrief: execute " << BRIEF_QUERY;
    try {
        SystemCmd query(BRIEF_QUERY, SystemCmd::READ);
        repository->addFromCache(query.stream, Package::TYPE_INSTALLED, Repository::DUPS_APPEND, this);
        if (query.wait() != 0) {
            throw error(E_SYSTEM, REP_LATER, SYS_UNSURE, SUPP_MAYBE) << "dpkg-query command failed";
        }
    } catch (error& e) {
        e.addMessage(E_UNSET, REP_UNSET, SYS_UNSET, SUPP_UNSET) << messages.get("err_deb_info_brief");
        throw;
    }
}

void SourceSysDeb::readPackagesFull() {}

std::string SourceSysDeb::getPkgVersionFromSystemDirectly(const std::string& name)
{
    std::vector<std::string> lines;
    try {
        lines = get_command_output(
            shell_command({"dpkg-query", "--show", "--showformat=${Status}\\n${Version}\\n", name}) + NO_ERROR_TEXT);
    } catch (const error&) {
        // dpkg-query fails for a name that the database does not know at all: not installed either.
    }
    if (lines.size() == 2 && lines[0] == "install ok installed") {
        const std::string version = lines[1].substr(0, lines[1].find('-'));
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceSysDeb::getPkgVersionFromSystemDirectly " << name
                                            << " version " << version << " installed in system";
        return version;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceSysDeb::getPkgVersionFromSystemDirectly " << name
                                        << " not installed in system";
    return "";
}
