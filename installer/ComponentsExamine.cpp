#include "installer/ComponentsExamine.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <set>
#include <sstream>
#include <stdexcept>

#include <boost/algorithm/string/replace.hpp>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/POpen.h"
#include "common/Progress.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/Build.h"
#include "installer/ComponentManager.h"
#include "installer/KwComponent.h"
#include "installer/Options.h"
#include "installer/Release.h"

namespace {

const Messages messages;

// The kinds of change a check is selected for.
const int KIND_INSTALL = 1;
const int KIND_UPGRADE = 2;
const int KIND_UPDATE = 3;
const int KIND_NONE = 4;

// What the release's update mode means for its build's checks; a mode that was never calculated
// selects none.
int kindOfUpdateMode(Release::update_mode_t mode)
{
    switch (mode) {
    case Release::INSTALL: return KIND_INSTALL;
    case Release::MINOR_UPGRADE:
    case Release::MAJOR_UPGRADE: return KIND_UPGRADE;
    case Release::UP2DATE: return KIND_UPDATE;
    default: return KIND_NONE;
    }
}

std::string workModeName(int mode)
{
    switch (mode) {
    case Options::INTERACTIVE_CONSOLE: return "INTERACTIVE_CONSOLE";
    case Options::NON_INTERACTIVE: return "NON_INTERACTIVE";
    case Options::INTERACTIVE_WEB_UI: return "INTERACTIVE_WEB_UI";
    default: return std::to_string(mode);
    }
}

std::string fileNamePart(const std::string& path)
{
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Selects the checks of the components to install or remove and of their builds.
class GetComponentForExamine : public ComponentManager::Visitor {
public:
    GetComponentForExamine(std::vector<ExamineEntry>* pre, std::vector<ExamineEntry>* post) : pre(pre), post(post) {}

    void visit(const boost::shared_ptr<KwComponent>& component) override
    {
        const bool install = component->isToInstall();
        if (install || component->isToRemove())
            visitBuild(component->getBuild());
        if (install)
            for (const BuildInfFile::examine_t& record : component->examines)
                addEntry(record, component->getInstallMode(), component->name, *component->getBuild());
    }

private:
    void visitBuild(const boost::shared_ptr<Build>& build)
    {
        if (!handled.insert(build.get()).second)
            return;
        const checked_pointer<Release> release = build->getParent().get();
        const int kind = kindOfUpdateMode(release->get_update_mode());
        for (const BuildInfFile::examine_t& record : build->getExamine())
            addEntry(record, kind, release->get_name(), *build);
        // An addon's build brings the checks of the release it is attached to.
        if (!build->isReleaseBuild()) {
            const boost::shared_ptr<Build> best = release->get_best_build(system);
            if (best)
                visitBuild(best);
        }
    }

    void addEntry(const BuildInfFile::examine_t& record, int kind, const std::string& context, const Build& build)
    {
        std::vector<ExamineEntry>* list = nullptr;
        const std::string& scope = record.scope;
        if ((scope == "pre_install" && kind == KIND_INSTALL) || (scope == "pre_upgrade" && kind == KIND_UPGRADE) ||
            (scope == "pre_update" && kind == KIND_UPDATE) || (scope == "pre_any" && kind != KIND_NONE))
            list = pre;
        else if ((scope == "post_install" && kind == KIND_INSTALL) ||
                 (scope == "post_upgrade" && kind == KIND_UPGRADE) || (scope == "post_update" && kind == KIND_UPDATE) ||
                 (scope == "post_any" && kind != KIND_NONE))
            list = post;
        if (!list)
            return;
        const Release& release = *build.getParent();
        const ExamineEntry entry{record,
                                 context,
                                 release.get_installed_version(),
                                 release.get_version().toString(),
                                 build.getOsName(),
                                 build.getOsVersion(),
                                 build.getOsArch()};
        for (const ExamineEntry& known : *list)
            if (known == entry)
                return;
        list->push_back(entry);
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Examination added: " + record.name + ", context=\"" + context + "\", script=" + entry.scriptPath() +
                   ", launcher=" + entry.launcherPath() + ", options=\"" + record.options +
                   "\", always=" + (record.always ? "true" : "false");
    }

    std::vector<ExamineEntry>* pre;
    std::vector<ExamineEntry>* post;
    std::set<const Build*> handled;
    const Opsys system;
};

}  // namespace

void logProgressStep(const std::string& key, const std::string& text)
{
    Progress().step(key, text);
    Log::stream(Log::LEVEL_ERROR, true) << text;
}

std::string ExamineEntry::resolvePath(const std::string& path) const
{
    if (!path.empty() && path[0] != '/')
        return record.directory + path;
    const std::string::size_type start = path.find_first_not_of('/');
    return start == std::string::npos ? std::string() : path.substr(start);
}

bool ExamineEntry::operator==(const ExamineEntry& other) const
{
    return record.scope == other.record.scope && record.name == other.record.name &&
           launcherPath() == other.launcherPath() && scriptPath() == other.scriptPath() &&
           record.options == other.record.options && record.always == other.record.always;
}

bool hasExamineErrors(const ExamineResults& results)
{
    for (const ExamineResult& result : results)
        if (result.isError)
            return true;
    return false;
}

ComponentsExamine::ComponentsExamine(const ComponentManager* componentManager, FileFetcher* fileFetcher)
    : fileFetcher(fileFetcher)
{
    setInstallationType(componentManager);
    GetComponentForExamine selection(&preEntries, &postEntries);
    componentManager->walk(selection);
}

void ComponentsExamine::setInstallationType(const ComponentManager* componentManager)
{
    if (!componentManager)
        throw std::invalid_argument(std::string("setInstallationType") + ": Invalid argument 'componentManager'.");
    instTypeByProduct = componentManager->instTypeByProduct;
}

std::string ComponentsExamine::buildArguments(const ExamineEntry& entry, int rc) const
{
    std::string preset;
    for (const auto& type : instTypeByProduct)
        preset += (preset.empty() ? "" : " ") + type.first + ":" + type.second;
    // Texts that users type or saved reach the script as they are: sh expands nothing in them.
    const std::pair<const char*, std::string> values[] = {
        {"{RC}", std::to_string(rc)},
        {"{FROM_RELEASE_VERSION}", entry.fromVersion},
        {"{TO_RELEASE_VERSION}", entry.toVersion},
        {"{KW_HOME}", get_home_dir()},
        {"{OS_NAME}", entry.osName},
        {"{OS_VERSION}", entry.osVersion},
        {"{OS_ARCH}", entry.osArch},
        {"{PRESET}", shell_double_quote(preset)},
        {"{WORK_MODE}", workModeName(Options::instance().workMode)},
        {"{ARGUMENTS}", shell_double_quote(Options::getQuotedCommandLine())},
    };
    std::string arguments = entry.record.options;
    for (const auto& value : values)
        boost::algorithm::replace_all(arguments, value.first, value.second);
    return arguments;
}

void ComponentsExamine::runEntry(const ExamineEntry& entry, int rc, ExamineResults& results, std::string& localScript)
{
    localScript = fileFetcher->getFile(entry.scriptPath());
    std::string program = localScript;
    std::string arguments = buildArguments(entry, rc);
    const std::string launcher = entry.launcherPath();
    if (!launcher.empty()) {
        program = fileFetcher->getFile(launcher);
        arguments = shell_double_quote(localScript) + " " + arguments;
    }
    chmod(program.c_str(), 0700);
    // Not every system knows SELinux: the command fails harmlessly there.
    exec_command("chcon system_u:object_r:bin_t:s0 " + shell_double_quote(program), false, false);

    const std::string command = shell_double_quote(program) + " " + arguments;
    std::istringstream input;
    std::ostringstream output, errors;
    POpen child(command, &input, &output, &errors);
    const int status = child.wait(false);
    const int code = WIFEXITED(status) ? WEXITSTATUS(status) : status;
    Log::stream(Log::LEVEL_VERBOSE, true) << "Examination executed [" + command + "] with code " +
                                                 std::to_string(code) + "\n Output:\n" + output.str() + "\n Error:\n" +
                                                 errors.str();
    if (code != 0)
        results.push_back(ExamineResult{entry.record.name, output.str(), errors.str(), code == 2});
}

void ComponentsExamine::run(const std::vector<ExamineEntry>& entries, bool onlyAlways, int rc, ExamineResults& results)
{
    results.clear();
    for (const ExamineEntry& entry : entries) {
        if (onlyAlways && !entry.record.always)
            continue;
        std::string localScript;
        try {
            runEntry(entry, rc, results, localScript);
        } catch (const error& e) {
            const std::string script = localScript.empty() ? fileNamePart(entry.scriptPath()) : localScript;
            results.push_back(ExamineResult{
                entry.record.name, "",
                format_message(messages.get("err_examine_launch_failed"), script) + "\n" + e.getText(), false});
        }
    }
}

bool ComponentsExamine::runPhase(const char* operation, const char* step, const std::vector<ExamineEntry>& entries,
                                 ExamineResults& results, bool& done, bool onlyAlways, int rc)
{
    if (done) {
        Log::stream(Log::LEVEL_INFO, true) << "ComponentsExamine::" + std::string(operation) + ": already has results";
        return results.empty();
    }
    if (entries.empty()) {
        Log::stream(Log::LEVEL_INFO, true)
            << "ComponentsExamine::" + std::string(operation) + ": no components for examination";
        return true;
    }
    logProgressStep(step, messages.get("examine_perform"));
    run(entries, onlyAlways, rc, results);
    done = true;
    return results.empty();
}

bool ComponentsExamine::doPreExamine(bool skipExamine)
{
    return runPhase("doPreExamine", "examine_presetup", preEntries, preResults, preDone, skipExamine, 0);
}

bool ComponentsExamine::doPostExamine(bool skipExamine)
{
    return runPhase("doPostExamine", "examine_postsetup", postEntries, postResults, postDone, skipExamine, 0);
}

bool ComponentsExamine::doFailurePostExamine()
{
    return runPhase("doFailurePostExamine", "examine_postsetup", postEntries, postResults, postDone, true, 1);
}

std::string ExamineResultFormatter::formatLine(const std::string& line) const
{
    return "  " + trim_right(line);
}

std::string ExamineResultFormatter::format(const ExamineResults& results) const
{
    std::string text;
    for (const ExamineResult& result : results) {
        text += result.title + "\n";
        if (result.errors.empty())
            continue;
        std::istringstream lines(result.errors);
        std::string line;
        while (std::getline(lines, line))
            text += formatLine(line) + "\n";
    }
    return text;
}
