#include "tests/support/DpkgDatabase.h"

#include <sys/stat.h>

#include <stdexcept>

#include "tests/support/ChildProcess.h"

DpkgDatabase::DpkgDatabase() : dir("/var/tmp")
{
    if (mkdir((dir / "info").c_str(), 0755) != 0 || mkdir((dir / "updates").c_str(), 0755) != 0)
        throw std::runtime_error("cannot make the dpkg database in " + dir.path());
    writeWholeFile(dir / "available", "");
    writeStatus("");
}

void DpkgDatabase::writeStatus(const std::string& text) const
{
    writeWholeFile(dir / "status", text);
}

void DpkgDatabase::useIn(ChildOptions& options) const
{
    options.binds.push_back({dir.path(), "/var/lib/dpkg"});
}

std::string DpkgDatabase::entry(const std::string& name, const std::string& status, const std::string& version,
                                const std::string& more)
{
    return "Package: " + name + "\nStatus: " + status + "\nMaintainer: m <m@example.org>\nArchitecture: amd64\n" +
           (version.empty() ? "" : "Version: " + version + "\n") + more + "Description: d\n\n";
}
