#include "installer/SourceManager.h"

#include <algorithm>
#include <sstream>

#include <boost/algorithm/string/case_conv.hpp>

#include "common/Log.h"
#include "common/Opsys.h"
#include "common/Repository.h"
#include "common/SourceSysRPM.h"
#include "common/error.h"
#include "installer/Build.h"
#include "installer/SourceSysZanthExt.h"
#include "installer/SourceZanthApt.h"
#include "installer/SourceZanthYum.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_UNKNOWN_SYSTEM = 63;

}  // namespace

SourceManager::SourceManager(Repository* repository_) : repository(repository_), build_files(new BuildFilesData) {}

SourceManager::~SourceManager()
{
    // Each source takes its packages out of the repository as it goes.
    sources.clear();
}

void SourceManager::addBuildSources(const FileFetcher& fetcher, const boost::shared_ptr<Build>& build)
{
    const Opsys system;
    const BuildInfFile& file = *build->getBuildFile();
    if (system.isRedHatBased()) {
        sources.push_back(std::make_shared<SourceZanthYum>(repository, fetcher, build, 'b'));
        if (!file.thirdparty_repo.dir.empty())
            sources.push_back(std::make_shared<SourceZanthYum>(repository, fetcher, build, 't'));
        if (!file.extras_repo.dir.empty())
            sources.push_back(std::make_shared<SourceZanthYum>(repository, fetcher, build, 'x'));
    } else if (system.isDebianBased()) {
        if (!file.apt_source.empty())
            sources.push_back(
                std::make_shared<SourceZanthApt>(repository, fetcher, build, 'b', file.apt_source, false));
        if (!file.persistent_apt_source.empty())
            sources.push_back(
                std::make_shared<SourceZanthApt>(repository, fetcher, build, 'b', file.persistent_apt_source, true));
    } else {
        throw internal_error(__FILE__, LINE_UNKNOWN_SYSTEM);
    }
}

void SourceManager::dropSources(const boost::weak_ptr<Build>& build)
{
    const boost::shared_ptr<Build> dropped = build.lock();
    for (auto it = sources.begin(); it != sources.end();) {
        const SourceZanth* product = dynamic_cast<const SourceZanth*>(it->get());
        // Two builds that are both gone count as the same.
        if (product && product->getBuild().lock() == dropped) {
            std::ostringstream name;
            product->print(name);
            Log::stream(Log::LEVEL_DEBUG, true) << "DEBUG: drop " << name.str();
            it = sources.erase(it);
        } else {
            ++it;
        }
    }
}

void SourceManager::addExtensionsSource(ComponentManager* component_manager)
{
    sources.push_back(std::make_shared<SourceSysZanthExt>(repository, component_manager));
}

void SourceManager::addForceRemovePackage(const std::string& name)
{
    std::vector<std::string>& names = build_files->force_remove_packages;
    if (std::find(names.begin(), names.end(), name) == names.end())
        names.push_back(name);
}

void SourceManager::setOsTemplateName(const std::string& name)
{
    std::string& current = build_files->os_template_name;
    if (!current.empty() && current != name)
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << "OS template name is already defined as " << current << " (try set name " << name << ")";
    current = name;
}

std::string SourceManager::getOsTemplateName() const
{
    if (!build_files->os_template_name.empty())
        return build_files->os_template_name;
    const Opsys system;
    std::string generated = boost::algorithm::to_lower_copy(system->vendor) + "-" + system->version + "-" +
                            (system->arch == "x86_64" ? "x86_64" : "x86");
    Log::stream(Log::LEVEL_INFO, true) << "Warning: the OS template name was not set by the build files; generated "
                                       << generated << ", which may not match the real template";
    return generated;
}

void SourceManager::reloadSystemPackages()
{
    for (Source* source : repository->getSources())
        if (SourceSysRPM* rpm = dynamic_cast<SourceSysRPM*>(source)) {
            rpm->reloadBrief();
            return;
        }
}
