#include "installer/SystemSpecificConfigurator.h"

#include <algorithm>
#include <cstdlib>

#include "common/Downloader.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/fileops.h"
#include "installer/Build.h"
#include "installer/SourceZanth.h"

namespace {

const Messages messages;

// The copy of a persistent file from before the run.
std::string backupOf(const std::string& path)
{
    return path + ".kw_back";
}

}  // namespace

SystemSpecificConfigurator::SystemSpecificConfigurator() : configured(false), commitChanges(false), checkDone(false) {}

SystemSpecificConfigurator::~SystemSpecificConfigurator() {}

void SystemSpecificConfigurator::prepareAvailablePackagesList(const std::vector<std::string>&) {}

std::string SystemSpecificConfigurator::doCheckConfiguration()
{
    return "";
}

void SystemSpecificConfigurator::doConfigureVariant() {}

void SystemSpecificConfigurator::configure()
{
    if (configured)
        throw KW_INTERNAL_ERROR();
    doConfigure();
    configured = true;
}

void SystemSpecificConfigurator::configureVariant()
{
    if (configured)
        throw KW_INTERNAL_ERROR();
    doConfigureVariant();
    configured = true;
}

std::string SystemSpecificConfigurator::checkConfiguration()
{
    if (!configured)
        throw KW_INTERNAL_ERROR();
    if (!checkDone) {
        checkText = doCheckConfiguration();
        checkDone = true;
    }
    return checkText;
}

const Package* SystemSpecificConfigurator::getAvailablePackage(const std::string& name)
{
    if (!configured)
        throw error(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_sysconf_init");
    return doGetAvailablePackage(name);
}

void SystemSpecificConfigurator::removeTemporarySources()
{
    if (configured)
        doRemoveTemporarySources();
}

void SystemSpecificConfigurator::finish()
{
    if (configured)
        doFinish();
}

void SystemSpecificConfigurator::setCommitChanges()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "SystemSpecificConfigurator: set commitChanges flag = true";
    commitChanges = true;
}

void SystemSpecificConfigurator::rollback()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "SystemSpecificConfigurator: rollback";
    commitChanges = false;
    finish();
}

void SystemSpecificConfigurator::doFinish()
{
    if (commitChanges)
        commitPersistentConfiguration();
    else
        rollbackPersistentConfiguration();
}

void SystemSpecificConfigurator::addPersistentFile(const std::string& path)
{
    if (!persistentFiles.insert(path).second)
        return;
    const std::string backup = backupOf(path);
    if (fileops::exists(path) && !fileops::exists(backup))
        fileops::copy_file(path, backup);
}

void SystemSpecificConfigurator::commitPersistentConfiguration()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "SystemSpecificConfigurator: commit persistent configuration";
    for (const std::string& path : persistentFiles) {
        const std::string backup = backupOf(path);
        if (fileops::exists(backup))
            fileops::remove(backup);
    }
    persistentFiles.clear();
}

void SystemSpecificConfigurator::rollbackPersistentConfiguration()
{
    Log::stream(Log::LEVEL_DEBUG, true) << "SystemSpecificConfigurator: rollback persistent configuration";
    for (const std::string& path : persistentFiles) {
        const std::string backup = backupOf(path);
        if (fileops::exists(backup))
            fileops::rename(backup, path);
        else
            fileops::remove(path);  // the run created it
    }
    // Settled: a later finish must not take the restored files for ones the run created.
    persistentFiles.clear();
}

void SystemSpecificConfigurator::setProxyEnvironment()
{
    const Downloader::Proxy& proxy = Downloader::getProxy();
    if (proxy.host.empty())
        return;
    std::string value = "http://";
    if (!proxy.user.empty())
        value += proxy.user + ":" + proxy.password + "@";
    value += proxy.host + ":" + std::to_string(proxy.port);
    if (setenv("http_proxy", value.c_str(), 1) != 0)
        Log::stream(Log::LEVEL_ERROR, true) << messages.get("err_set_proxyvar");
}

std::vector<boost::shared_ptr<Build>> SystemSpecificConfigurator::signatureCheckedBuilds(
    const std::vector<std::shared_ptr<SourceZanth>>& sources)
{
    std::vector<boost::shared_ptr<Build>> builds;
    for (const std::shared_ptr<SourceZanth>& source : sources) {
        const boost::shared_ptr<Build> build = source->getLiveBuild();
        if (build->getGpgCheck() && std::find(builds.begin(), builds.end(), build) == builds.end())
            builds.push_back(build);
    }
    return builds;
}
