#include "installer/DlgReleases.h"

#include <map>
#include <memory>
#include <string>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/checked_pointer.h"
#include "common/error.h"
#include "installer/BuildManager.h"
#include "installer/DlgMaker.h"
#include "installer/Product.h"
#include "installer/ReleasesCompatibilityChecker.h"

namespace {

// Support knows the internal error of this file by this place.
const char* const SOURCE_NAME = "installer/DlgReleases";
const int LINE_TWO_SELECTED = 32;

void logDebug(const char* text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

}  // namespace

DlgReleases::DlgReleases(BuildManager* builds_, Repository* repository_) : builds(builds_), repository(repository_) {}

bool DlgReleases::canContinue()
{
    const std::unique_ptr<DlgMaker> maker(DlgMaker::create());
    Messages messages;
    const auto run = [&maker](Dialog* dialog) { return std::unique_ptr<Dialog>(dialog)->run(); };

    std::map<std::string, boost::shared_ptr<Release>> selected;  // by product id
    for (const boost::shared_ptr<Release>& release : builds->getReleases(true)) {
        if (!release->is_selected())
            continue;
        if (!selected.emplace(release->prod()->id(), release).second)
            throw internal_error(SOURCE_NAME, LINE_TWO_SELECTED);
    }
    if (selected.empty()) {
        run(maker->makeMessage(messages.get("releases_no_selected")));
        return false;
    }

    for (const auto& entry : selected) {
        const Release& release = *entry.second;
        if (release.get_update_mode() != Release::MAJOR_UPGRADE)
            continue;
        const std::string question = messages.get("releases_upgrade_request1") + release.prod()->name() + " " +
                                     builds->getCurrentReleaseVersion(entry.first) +
                                     messages.get("releases_upgrade_request2");
        if (run(maker->makeYesNo(question)) != YES)
            return false;
    }

    logDebug("DlgReleases::canContinue: ReleasesCompatibilityChecker");
    ReleasesCompatibilityChecker checker(builds, checked_pointer<Repository>(repository).operator->());
    builds->visit(checker);
    if (checker.isError()) {
        logDebug("DlgReleases::canContinue: bwc.isError()");
        run(maker->makeMessage(checker.errors.str() + "\n"));
        return false;
    }
    if (checker.isWarning()) {
        logDebug("DlgReleases::canContinue: bwc.isWarning()");
        if (run(maker->makeYesNo(checker.warnings.str() + "\n\n" + messages.get("question_continue"))) != YES)
            return false;
    }
    return true;
}
