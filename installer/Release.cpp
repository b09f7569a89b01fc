#include "installer/Release.h"

#include <algorithm>

#include "common/Log.h"
#include "common/Repository.h"
#include "common/error.h"
#include "installer/Options.h"
#include "installer/Product.h"
#include "installer/substitute_variables.h"

namespace {

// Internal errors keep the line numbers under which support knows them.
const int LINE_NO_REPOSITORY = 87;
const int LINE_NO_KEY_PACKAGES = 114;
const int LINE_UPDATE_MODE_OF_NOT_ACTUAL = 319;

// The version text up to its first ".", without epoch and release.
std::string first_segment(const Version& version)
{
    return version.getVersion().substr(0, version.getVersion().find('.'));
}

// Compared as versions, so that 17 and 017 are one segment.
bool same_first_segment(const Version& a, const Version& b)
{
    const std::string mine = first_segment(a);
    const std::string theirs = first_segment(b);
    if (mine.empty() || theirs.empty())
        return mine == theirs;
    return Version(mine) == Version(theirs);
}

}  // namespace

Release::Release(const boost::shared_ptr<Product>& product_, const std::string& id_, const std::string& name_,
                 const std::string& codename_, const std::string& version_, const std::string& upgrade_allowed_from_)
    : product(product_), id(id_), name(name_), codename(codename_), version(version_),
      upgrade_allowed_from(upgrade_allowed_from_), state(NOT_CHECKED), update_mode(NOT_CALCULATED), selected(false),
      tags(true), promoted_tags(false), hide_policy(0), component_updates(false)
{
}

void Release::add_build(const boost::shared_ptr<Build>& build)
{
    builds.add(build);
}

boost::shared_ptr<Build> Release::find_build(const std::string& build_name) const
{
    return builds.findByConfig(build_name);
}

void Release::set_tags(const std::string& text)
{
    tags.assign(text);
}

void Release::set_promoted_tags(const std::string& text)
{
    promoted_tags.assign(text);
}

void Release::add_best_with(const std::string& product_id, const std::string& version_text)
{
    best_with.insert(std::make_pair(product_id, version_text));
}

std::string Release::calculate_current_release(Repository* rep) const
{
    // Callers always give the repository, and the catalogue reader refuses products without key packages.
    if (rep == nullptr)
        throw internal_error(__FILE__, LINE_NO_REPOSITORY);
    if (!product || prod()->keypackages().empty() || prod()->keypackages().front().empty())
        throw internal_error(__FILE__, LINE_NO_KEY_PACKAGES);
    // The groups only order the search: the first installed key package decides.
    for (const std::vector<std::string>& group : prod()->keypackages())
        for (const std::string& package : group)
            if (const Package* found = rep->findNewest(package))
                return found->getVersion().getVersionString();
    return "";
}

void Release::calculate_state(Repository* rep)
{
    installed_version = calculate_current_release(rep);
    if (!installed_version.empty()) {
        const Version installed(installed_version);
        if (version < installed) {
            state = NOT_ACTUAL;
            update_mode = NOT_CALCULATED;
            log_state(" is too old: " + installed_version + " is installed.");
            return;
        }
        if (installed < upgrade_allowed_from) {
            state = NOT_ACTUAL;
            update_mode = NOT_CALCULATED;
            log_state(" is too new: upgrade is allowed starting from " + upgrade_allowed_from.toString() + " version");
            return;
        }
    }

    const Opsys system;
    if (std::none_of(builds.begin(), builds.end(),
                     [&system](const boost::shared_ptr<Build>& build) { return build->isCompatible(system); })) {
        state = NOT_ACTUAL;
        log_state(" contains no build for this OS");
        return;
    }

    state = ACTUAL;
    log_state(" is actual");
    if (installed_version.empty()) {
        update_mode = INSTALL;
        log_state(" is currently not installed");
    } else if (is_current()) {
        update_mode = UP2DATE;
        log_state(" is currently installed");
    } else {
        update_mode = same_first_segment(Version(installed_version), version) ? MINOR_UPGRADE : MAJOR_UPGRADE;
    }
}

void Release::log_state(const std::string& what) const
{
    Log::stream(Log::LEVEL_DEBUG, true) << "Release " + id + what;
}

void Release::check_state() const
{
    if (state == NOT_CHECKED) {
        error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
        e << "release " << name << " installation state not checked yet";
        throw e;
    }
}

bool Release::is_actual() const
{
    check_state();
    return state == ACTUAL;
}

bool Release::is_current() const
{
    check_state();
    return !installed_version.empty() && Version(installed_version) == version;
}

Release::update_mode_t Release::get_update_mode() const
{
    if (!is_actual())
        throw internal_error(__FILE__, LINE_UPDATE_MODE_OF_NOT_ACTUAL);
    return update_mode;
}

std::string Release::get_update_mode_name() const
{
    switch (update_mode) {
    case INSTALL: return "install";
    case MINOR_UPGRADE: return "update";
    case MAJOR_UPGRADE: return "upgrade";
    default: return get_action_name();  // up to date and the errors read the same
    }
}

std::string Release::get_action_name() const
{
    switch (update_mode) {
    case INSTALL: return "install";
    case MINOR_UPGRADE:
    case MAJOR_UPGRADE: return "upgrade";
    case UP2DATE: return component_updates ? "update" : "up2date";
    }
    error e(E_INTERNAL, REP_NONE, SYS_STABLE, SUPP_NEED);
    e << "release " << name;
    if (update_mode == NOT_CALCULATED)
        e << ": update mode is not calculated.";
    else
        e << ": update mode have invalid value: " << update_mode;
    throw e;
}

boost::shared_ptr<Build> Release::get_best_build(const Opsys& system) const
{
    Log::stream(Log::LEVEL_DEBUG, true) << "Select best build of " + id + " for current OS";
    boost::shared_ptr<Build> best = builds.getBestBuild(system);
    if (best)
        Log::stream(Log::LEVEL_VERBOSE, true)
            << "The getBestBuild function has selected the build " + best->getConfig() + " for installation.";
    return best;
}

bool Release::has_supported_build(const Opsys& system) const
{
    const boost::shared_ptr<Build> best = get_best_build(system);
    return best && !best->isDeprecated();
}

bool Release::is_visible(int display_mode) const
{
    if (is_current())
        return true;
    if ((display_mode & hide_policy & HIDE_DISPLAY_MODES) == 0)
        return true;
    const Options& options = Options::instance();
    const bool filtered = !options.releaseTiers.empty() && options.command != Options::SHOW_ALL_RELEASES;
    const bool hidden = (tags.empty() && (hide_policy & HIDE_AUTOASSIGNED)) ||
                        (!filtered && (hide_policy & HIDE_NONFILTERED)) || (filtered && (hide_policy & HIDE_FILTERED));
    return !hidden;
}

std::string Release::get_display_tag() const
{
    if (is_current())
        return "currently installed";
    if (!display_tag.empty())
        return display_tag;
    return tags.toString();
}

std::string Release::get_caution() const
{
    return is_current() ? "" : caution;
}

std::string Release::get_details_url() const
{
    std::string url = details_url;
    substitute_variables(url);
    return url;
}

bool Release::is_incompatible_with(const Release& other) const
{
    const std::vector<std::string>& ids = prod()->incompatible_with();
    return std::find(ids.begin(), ids.end(), other.prod()->id()) != ids.end();
}

const std::string& Release::get_label() const
{
    return name.empty() ? id : name;
}

void Release::set_has_component_updates()
{
    if (is_current() && update_mode == UP2DATE)
        component_updates = true;
}

void Release::add_updated_component(const std::string& component)
{
    if (is_current())
        updated_components.push_back(component);
}
