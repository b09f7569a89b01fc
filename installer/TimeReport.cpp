#include "installer/TimeReport.h"

#include <tinyxml.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

#include "common/Log.h"
#include "common/Version.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/tinybind.h"
#include "installer/BuildManager.h"
#include "installer/ComponentManager.h"
#include "installer/Product.h"
#include "installer/run_environment.h"

const char TimeReport::FILE_NAME[] = "kw_action_time.xml";

namespace {

// The local time in the ISO 8601 basic form, YYYYMMDDTHHMMSS.
std::string local_timestamp()
{
    const time_t now = time(nullptr);
    tzset();  // localtime_r need not read the zone: a zone set since the last look must count
    struct tm local;
    if (!localtime_r(&now, &local))
        throw std::runtime_error("could not convert calendar time to local time");
    char text[32];
    strftime(text, sizeof text, "%Y%m%dT%H%M%S", &local);
    return text;
}

// A fresh statistics document: the declaration and an empty list.
std::unique_ptr<tinybind::Document> start_afresh()
{
    std::unique_ptr<tinybind::Document> document(new tinybind::Document);
    document->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", "yes"));
    document->LinkEndChild(new TiXmlElement("reports"));
    return document;
}

// The statistics file's document, whose root is the list of records; null when this record must not
// be written. A file that exists but does not hold a list is kept under another name rather than
// overwritten, and one that cannot be read is left alone.
std::unique_ptr<tinybind::Document> load_reports(const std::string& path, const std::string& timestamp)
{
    if (!fileops::exists(path))
        return start_afresh();
    try {
        std::unique_ptr<tinybind::Document> document(new tinybind::Document(path));
        const TiXmlElement* root = document->RootElement();
        if (root && root->ValueStr() == "reports")
            return document;
    } catch (const tinybind::parse_err& e) {
        if (e.code == TiXmlBase::TIXML_ERROR_OPENING_FILE) {
            Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to save time statistics: cannot read " << path;
            return nullptr;
        }
    } catch (const tinybind::err& e) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "Unable to save time statistics: cannot read " << path << ": " << e.message;
        return nullptr;
    }
    const std::string kept = path + ".broken-" + timestamp;
    fileops::rename(path, kept);
    Log::stream(Log::LEVEL_VERBOSE, true) << "Time statistics file " << path << " is not valid, moved to " << kept;
    return start_afresh();
}

}  // namespace

TimeReport::TimeReport() : start(time(nullptr)), duration(0) {}

void TimeReport::report(const BuildManager* catalogue, const ComponentManager* manager, bool success)
{
    try {
        duration = static_cast<long>(difftime(time(nullptr), start));
        status = success ? "success" : "failed";
        collect(*checked_pointer<const BuildManager>(catalogue), *checked_pointer<const ComponentManager>(manager));
        write();
    } catch (const tinybind::err& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to save time statistics to file: " << e.message;
    } catch (const std::exception& e) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to save time statistics to file - " << e.what();
    } catch (...) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to save time statistics to log file: unexpected error";
    }
}

void TimeReport::collect(const BuildManager& catalogue, const ComponentManager& manager)
{
    class BuildReporter : public BuildManager::Visitor {
    public:
        explicit BuildReporter(std::vector<ReleaseEntry>& entries_) : entries(entries_) {}
        void visitRelease(boost::shared_ptr<Release> release) override
        {
            if (release->prod()->id() != BuildManager::DEFAULT_PRODUCT_ID)
                return;
            if (release->is_selected() || release->is_current())
                entries.push_back({release->get_id(), release->get_action_name(), release->get_update_mode()});
        }
        void visitAddon(const Addon*) override {}
        void visitBuild(const Build*) override {}

    private:
        std::vector<ReleaseEntry>& entries;
    };

    class ComponentReporter : public ComponentManager::Visitor {
    public:
        explicit ComponentReporter(std::vector<ComponentEntry>& entries_) : entries(entries_) {}
        void visit(const boost::shared_ptr<KwComponent>& component) override
        {
            if (component->isToRemove())
                entries.push_back({component->getFullName(), "R", "", ""});
            else if (component->isToInstall() && component->isInstalled())
                entries.push_back({component->getFullName(), "U", component->getInstalledVersion(),
                                   component->getAvailableVersion()});
            else if (component->isToInstall())
                entries.push_back({component->getFullName(), "I", "", ""});
        }

    private:
        std::vector<ComponentEntry>& entries;
    };

    releases.clear();
    components.clear();
    BuildReporter buildReporter(releases);
    catalogue.visit(buildReporter);
    ComponentReporter componentReporter(components);
    manager.walk(componentReporter);
}

void TimeReport::write() const
{
    const std::string timestamp = local_timestamp();
    TiXmlElement action("action");
    action.SetAttribute("version", "1.0.0");
    action.SetAttribute("timestamp", timestamp);
    action.SetAttribute("duration", std::to_string(duration));
    action.SetAttribute("status", status);

    std::vector<ReleaseEntry> sorted = releases;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const ReleaseEntry& a, const ReleaseEntry& b) { return Version(a.id) > Version(b.id); });
    TiXmlElement release("release");
    if (sorted.size() == 1 && sorted[0].updateMode == Release::INSTALL) {
        release.SetAttribute("version", "");
        release.SetAttribute("new_version", sorted[0].id);
    } else if (sorted.size() == 1) {
        release.SetAttribute("version", sorted[0].id);
    } else if (sorted.size() == 2) {
        release.SetAttribute("version", sorted[1].id);
        release.SetAttribute("new_version", sorted[0].id);
    } else {
        throw std::runtime_error("unexpected releases quantity");
    }
    release.SetAttribute(
        "mode", sorted[0].action == "up2date" && !components.empty() ? std::string("update") : sorted[0].action);

    TiXmlElement list("components");
    for (const ComponentEntry& entry : components) {
        TiXmlElement component("component");
        component.SetAttribute("name", entry.name);
        component.SetAttribute("mode", entry.mode);
        if (entry.mode == "U") {
            component.SetAttribute("from", entry.from);
            component.SetAttribute("to", entry.to);
        }
        list.InsertEndChild(component);
    }
    action.InsertEndChild(release);
    action.InsertEndChild(list);

    const std::string directory = driver::LOG_DIRECTORY;
    if (!fileops::is_directory(directory)) {
        Log::stream(Log::LEVEL_VERBOSE, true) << "Unable to save time statistics: missed directory " << directory;
        return;
    }
    const std::string path = directory + "/" + FILE_NAME;
    const std::unique_ptr<tinybind::Document> document = load_reports(path, timestamp);
    if (!document)
        return;
    document->RootElement()->InsertEndChild(action);
    document->save(path);
}
