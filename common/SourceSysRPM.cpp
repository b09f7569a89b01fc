#include "common/SourceSysRPM.h"

#include <unistd.h>

#include <cstdio>
#include <vector>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/POpen.h"
#include "common/Repository.h"
#include "common/SystemCmd.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/sysutils.h"
#include "common/textutils.h"

namespace {

const Messages messages;

// Names, versions and provides of every installed package, one cache record each.
const std::string RPM_BRIEF_QUERY = shell_command(
    {"rpm", "-qa", "--queryformat",
     R"fmt(F:system_installed_brief_%{NAME}-%{VERSION}-%{RELEASE}.rpm\nN:%{NAME}\nE:%{EPOCH}\nV:%{VERSION}\nL:%{RELEASE}\nA:%{ARCH}\nf:%{INSTALLTIME}\nB:%{BUILDTIME}\n[P:%{PROVIDENAME} %{PROVIDEFLAGS:depflags} %{PROVIDEVERSION}\n]X:\n)fmt"});

// The same with requirements, files (path, mode, digest or link target), conflicts and obsoletes.
const std::string RPM_FULL_QUERY = shell_command(
    {"rpm", "-qa", "--queryformat",
     R"fmt(F:system_installed_%{NAME}-%{VERSION}-%{RELEASE}.%{ARCH}.rpm\nN:%{NAME}\nE:%{EPOCH}\nV:%{VERSION}\nL:%{RELEASE}\nA:%{ARCH}\nf:%{INSTALLTIME}\nB:%{BUILDTIME}\n[R:%{REQUIRENAME} %{REQUIREFLAGS:depflags} %{REQUIREVERSION}\n][P:%{PROVIDENAME} %{PROVIDEFLAGS:depflags} %{PROVIDEVERSION}\n][P:%{FILENAMES}\nm:%{FILEMODES}\n5:%{FILEMD5S}%{FILELINKTOS}\n][C:%{CONFLICTNAME} %{CONFLICTFLAGS:depflags} %{CONFLICTVERSION}\n][O:%{OBSOLETENAME} %{OBSOLETEFLAGS:depflags} %{OBSOLETEVERSION}\n]X:\n)fmt"});

// The full list goes into the private cache file made just before, which the shell opens for writing.
const char OUTPUT_TO[] = " > ";

}  // namespace

const char SourceSysRPM::CACHE_FILE[] = "/tmp/kitwright_system_packages.cache";

SourceSysRPM::SourceSysRPM(Repository* repository_) : Source(repository_) {}

void SourceSysRPM::readSystemPackagesBrief()
{
    logStep("check_system_packages");
    try {
        SystemCmd query(RPM_BRIEF_QUERY, SystemCmd::READ);
        repository->addFromCache(query.stream, Package::TYPE_INSTALLED, Repository::DUPS_APPEND, this);
        query.check();
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_rpm_info_brief");
        throw;
    }
}

void SourceSysRPM::readPackagesFull()
{
    logStep("read_system_packages");
    try {
        // The shell's redirection would follow a link that another user planted under the fixed name.
        close(fileops::create_private_file(CACHE_FILE));
        exec_command(RPM_FULL_QUERY + OUTPUT_TO + shell_word(CACHE_FILE), false, true, nullptr, nullptr);
    } catch (error& e) {
        e.addMessage(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_rpm_info_full");
        throw;
    }

    Log::stream(Log::LEVEL_INFO, true) << "read cache file";
    FILE* cache = fopen(CACHE_FILE, "r");
    if (!cache) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_rpm_info_full_read");
    }
    // Every installed package of the brief list takes its full record's dependency lists.
    if (!readInstalledFromFile(cache, Repository::DUPS_REPLACE_SAME_SOURCE)) {
        throw error(E_SYSTEM, REP_NONE, SYS_STABLE, SUPP_MAYBE) << messages.get("err_rpm_info_full_read_done");
    }
}

std::string SourceSysRPM::getPkgVersionFromSystemDirectly(const std::string& name)
{
    std::vector<std::string> lines;
    try {
        lines = get_command_output(shell_command({"rpm", "-q", "--queryformat", "%{VERSION}\\n", name}));
    } catch (const error&) {
        // rpm fails for a package that is not installed.
    }
    if (lines.size() == 1) {
        Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceSysRPM::getPkgVersionFromSystemDirectly " << name
                                            << " version " << lines[0] << " installed in system";
        return lines[0];
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: SourceSysRPM::getPkgVersionFromSystemDirectly " << name
                                        << " not installed in system";
    return "";
}
