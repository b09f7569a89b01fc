#include "installer/ReleasesReporter.h"

#include <tinyxml.h>

#include "common/Messages.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/BuildManager.h"
#include "installer/Options.h"
#include "installer/Product.h"

ReleasesReporter::ReleasesReporter(const BuildManager* catalogue_, int mode_)
    : Reporter(0), catalogue(catalogue_), mode(mode_)
{
}

std::ostream& ReleasesReporter::put(std::ostream& out) const
{
    const BuildManager::releases_t releases = catalogue->getReleases(false);
    if (releases.empty()) {
        // No updates is a fine answer; no release to list is not.
        const Messages messages;
        if (mode == UPDATES)
            return Reporter(0, messages.get("releases_reporter_no_updates").c_str()).put(out);
        return Reporter(1, messages.get("releases_reporter_list_empty").c_str()).put(out);
    }

    const Options& options = Options::instance();
    BuildManager::releases_t shown;
    for (const auto& release : releases)
        if (options.releaseSelectors.empty() || options.isProdIDSelected(release->prod()->id()))
            shown.push_back(release);

    const bool upgrade = options.commandOperation == Options::UPGRADE_COMMAND;
    if (!xmlOutput) {
        out << pad_right("--- prod_id", 12) << " " << pad_right("release_id", 20) << " "
            << pad_right("(description)", 40) << " (tiers) ---\n";
        for (const auto& release : shown) {
            out << pad_right(release->prod()->id(), 12) << " " << pad_right(release->get_id(), 20) << " "
                << pad_right("(" + release->get_name() + ")", 40);
            if (release->is_visible(Release::HIDE_QUERY))
                out << " (" << release->get_display_tag() << ")";
            out << "\n";
        }
    } else if (!upgrade) {
        TiXmlElement list("releases");
        for (const auto& release : shown) {
            const std::string action = release->is_actual() ? release->get_update_mode_name() : "none";
            if (mode == UPDATES && action == "up2date")
                continue;
            TiXmlElement* element = new TiXmlElement("release");
            element->SetAttribute("id", release->get_id());
            element->SetAttribute("codename", release->get_codename());
            element->SetAttribute("action", action);
            if (mode == UPDATES && release->has_component_updates())
                element->SetAttribute("update_grade", "major");
            tinybind::add_text_child(element, "description", release->get_name());
            tinybind::add_text_child(element, "version", release->get_version().getVersionString());
            if (!release->get_tarn_api_version().empty())
                tinybind::add_text_child(element, "qor_api_version", release->get_tarn_api_version());
            if (!release->get_dispatcher_api_version().empty())
                tinybind::add_text_child(element, "dispatcher_api_version", release->get_dispatcher_api_version());
            list.LinkEndChild(element);
        }
        putXml(out, &list);
    }
    if (upgrade)
        throw upgradeTargetMissing("err_cmd_upgrade_no_release");
    return out;
}
