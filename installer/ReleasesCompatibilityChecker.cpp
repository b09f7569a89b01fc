#include "installer/ReleasesCompatibilityChecker.h"

#include <memory>

#include "common/Log.h"
#include "common/Messages.h"
#include "common/error.h"
#include "common/format_message.h"
#include "installer/Product.h"

namespace {

const Messages messages;

// The line that the internal error of a pair of one product names, as support knows it.
const int LINE_SAME_PRODUCT = 97;

void debug(const std::string& text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

}  // namespace

ReleasesCompatibilityChecker::ReleasesCompatibilityChecker(const BuildManager* build_manager_, Repository* repository_)
    : build_manager(build_manager_), repository(repository_)
{
    debug("DEBUG: Checking selected releases for compatibility with each others.");
}

void ReleasesCompatibilityChecker::visitRelease(boost::shared_ptr<Release> h)
{
    if (!h->is_actual()) {
        debug(h->get_name() + " not actual, skip check");
        return;
    }
    if (h->is_current()) {
        debug(h->get_name() + " is currently installed, skip check");
        return;
    }
    if (!h->is_selected()) {
        debug(h->get_label() + " not checked, skip check");
        return;
    }
    debug("ReleasesCompatibilityChecker: check " + h->get_name());
    for (const boost::shared_ptr<Release>& o : build_manager->getReleases(false)) {
        if (o == h || o->prod()->id() == h->prod()->id())
            continue;
        if (o->is_current()) {
            debug("  secondary " + o->get_name() + " is current, skip");
        } else if (o->is_selected()) {
            debug("  secondary is " + o->get_name() + " checked and current, check it");
            if (h->is_incompatible_with(*o))
                reportIncompatible(*h, *o);
            if (isBestWith(*h, *o))
                reportBest(*h, *o);
        } else {
            debug("  secondary " + o->get_name() + " is not checked for install, skip");
        }
    }
}

void ReleasesCompatibilityChecker::reportIncompatible(const Release& h, const Release& o)
{
    if (!errors.str().empty())
        errors << "\n";
    errors << format_message(messages.get("err_incompatible_products"), h.prod()->name(), o.prod()->name());
}

bool ReleasesCompatibilityChecker::isBestWith(const Release& a, const Release& b) const
{
    const std::string& pa = a.prod()->id();
    const std::string& pb = b.prod()->id();
    if (pa == pb)
        throw internal_error(__FILE__, LINE_SAME_PRODUCT);
    debug("debug: ReleasesCompatibilityChecker::isBestWith: have products " + a.get_label() + " and " + b.get_label() +
          " any best with link?... ");
    // Any release of a's product may carry the records, not only a itself.
    for (const boost::shared_ptr<Release>& release : build_manager->getReleases(false))
        if (release->prod()->id() == pa && release->get_best_with().count(pb)) {
            debug("yes");
            return true;
        }
    debug("no");
    return false;
}

void ReleasesCompatibilityChecker::reportBest(const Release& h, const Release& o)
{
    debug("  ReleasesCompatibilityChecker::reportBest: here I need report that " + h.get_label() + " fit to " +
          o.get_label());
    const Version none("0.0");
    std::unique_ptr<Version> best(new Version(none));
    debug("    ReleasesCompatibilityChecker::reportBest: iterate by " + h.get_label() + " best_with records");
    for (const auto& record : h.get_best_with()) {
        debug("   iter: " + record.first + " - " + record.second);
        if (record.first != o.prod()->id())
            continue;
        const Version current(record.second);
        debug("    check: currVersion=" + current.toString());
        if (current == o.get_version()) {
            debug("   currVersion == b->ver() == " + o.get_version().toString() + " - bestMatch set to true");
            return;  // the selected version is one of those recommended
        }
        if (*best == none) {
            best.reset(new Version(current));
            debug("     bestVersion is None, = currVersion, " + best->toString());
        }
        if (current > *best) {
            best.reset(new Version(current));
            debug("     currVersion > bestVersion, bestVersion = currVersion, " + best->toString());
        }
    }
    if (*best == none)
        return;

    const std::string text = h.get_name() + " works better with " + o.prod()->name() + " " + best->toString() +
                             ", but " + o.get_name() + " was selected";
    debug(text);
    warnings << "\n" << text;
    bestwith_info_t* info = findBestWithInfo(h.prod()->id());
    if (!info) {
        notices.push_back(bestwith_info_t{h.prod()->id(), h.prod()->name(), h.get_version().toString(), {}});
        info = &notices.back();
    }
    info->list.push_back(bestwith_t{o.prod()->id(), o.prod()->name(), best->toString(), o.get_version().toString()});
}

ReleasesCompatibilityChecker::bestwith_info_t* ReleasesCompatibilityChecker::findBestWithInfo(
    const std::string& product_id)
{
    for (bestwith_info_t& info : notices)
        if (info.id == product_id)
            return &info;
    return nullptr;
}
