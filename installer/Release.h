#ifndef KW_INSTALLER_RELEASE_H
#define KW_INSTALLER_RELEASE_H

#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/Opsys.h"
#include "common/TagSet.h"
#include "common/Version.h"
#include "installer/Build.h"

class Product;
class Repository;

// One release of one product as the catalogue describes it, and what the installer found out about
// it on this server: the installed version of the product, whether the release can be installed at
// all (its state) and what installing it means (its update mode).
class Release {
public:
    typedef int state_t;
    static constexpr state_t NOT_CHECKED = 0;
    static constexpr state_t NOT_ACTUAL = 1;  // too old, too new, or no build for this system
    static constexpr state_t ACTUAL = 2;

    // Meaningful only for an actual release.
    typedef int update_mode_t;
    static constexpr update_mode_t NOT_CALCULATED = 0;
    static constexpr update_mode_t INSTALL = 1;  // the product is not installed
    static constexpr update_mode_t MINOR_UPGRADE = 2;
    static constexpr update_mode_t MAJOR_UPGRADE = 3;  // the first segment of the version changes
    static constexpr update_mode_t UP2DATE = 4;        // this release is the installed one

    // Where the release is hidden (the display modes of the callers) and under which condition.
    typedef int hide_policy_t;
    static constexpr hide_policy_t HIDE_CLI = 1;  // the console wizard
    static constexpr hide_policy_t HIDE_WEB = 2;
    static constexpr hide_policy_t HIDE_QUERY = 4;  // the releases report
    static constexpr hide_policy_t HIDE_OTHER = 8;
    static constexpr hide_policy_t HIDE_DISPLAY_MODES = 15;
    static constexpr hide_policy_t HIDE_FILTERED = 256;       // the user asked for release tiers
    static constexpr hide_policy_t HIDE_NONFILTERED = 512;    // the user did not
    static constexpr hide_policy_t HIDE_AUTOASSIGNED = 1024;  // the release has no tags of its own

    typedef std::multimap<std::string, std::string> best_with_t;  // product id -> version text

    // The version texts must not be empty.
    Release(const boost::shared_ptr<Product>& product, const std::string& id, const std::string& name,
            const std::string& codename, const std::string& version, const std::string& upgrade_allowed_from);

    void add_build(const boost::shared_ptr<Build>& build);
    // The first build whose build file has that base name.
    boost::shared_ptr<Build> find_build(const std::string& name) const;
    void set_tags(const std::string& text);
    void set_promoted_tags(const std::string& text);

    // The product's version given by its first installed key package, "" when none is installed.
    std::string calculate_current_release(Repository* rep) const;
    // Computes the installed version, the state and the update mode anew.
    void calculate_state(Repository* rep);
    bool is_actual() const;
    // This release is the installed one.
    bool is_current() const;
    update_mode_t get_update_mode() const;
    std::string get_update_mode_name() const;
    std::string get_action_name() const;

    boost::shared_ptr<Build> get_best_build(const Opsys& system) const;
    // A best build exists and is not deprecated.
    bool has_supported_build(const Opsys& system) const;

    // `display_mode`: one of the HIDE_ display-mode bits, the caller's.
    bool is_visible(int display_mode) const;
    std::string get_display_tag() const;
    std::string get_caution() const;
    // The release notes' address with its variables replaced.
    std::string get_details_url() const;
    // This release's product names the other's as one it cannot be installed beside; one direction only.
    bool is_incompatible_with(const Release& other) const;
    // The name, or the id when the name is empty: how messages name a release.
    const std::string& get_label() const;

    void set_has_component_updates();
    void add_updated_component(const std::string& name);
    bool has_component_updates() const { return component_updates; }

    const best_with_t& get_best_with() const { return best_with; }
    void add_best_with(const std::string& product_id, const std::string& version_text);
    const boost::shared_ptr<Product>& prod() const { return product; }
    const std::string& get_id() const { return id; }
    const std::string& get_name() const { return name; }
    const std::string& get_codename() const { return codename; }
    const Version& get_version() const { return version; }
    const Version& get_upgrade_allowed_from() const { return upgrade_allowed_from; }
    void set_details_url(const std::string& url) { details_url = url; }
    const std::string& get_tarn_api_version() const { return tarn_api_version; }
    void set_tarn_api_version(const std::string& text) { tarn_api_version = text; }
    const std::string& get_dispatcher_api_version() const { return dispatcher_api_version; }
    void set_dispatcher_api_version(const std::string& text) { dispatcher_api_version = text; }
    state_t get_state() const { return state; }
    const std::string& get_installed_version() const { return installed_version; }
    void set_caution(const std::string& text) { caution = text; }
    const BuildList& get_builds() const { return builds; }
    bool is_selected() const { return selected; }
    void set_selected(bool value) { selected = value; }
    const TagSet& get_tags() const { return tags; }
    const TagSet& get_promoted_tags() const { return promoted_tags; }
    void set_display_tag(const std::string& tag) { display_tag = tag; }
    hide_policy_t get_hide_policy() const { return hide_policy; }
    void set_hide_policy(hide_policy_t policy) { hide_policy = policy; }
    const std::vector<std::string>& get_updated_components() const { return updated_components; }

private:
    // One line of the state computation. Log lines are written as one text: the log marks an empty
    // piece written on its own.
    void log_state(const std::string& what) const;
    // The state error of a release whose state was never computed.
    void check_state() const;

    best_with_t best_with;
    boost::shared_ptr<Product> product;
    std::string id;
    std::string name;
    std::string codename;
    Version version;
    Version upgrade_allowed_from;  // the lowest installed version this release may be installed over
    std::string details_url;       // may hold variables in square brackets
    std::string tarn_api_version;
    std::string dispatcher_api_version;
    state_t state;
    update_mode_t update_mode;
    std::string installed_version;  // empty when the product is not installed
    std::string caution;
    BuildList builds;
    bool selected;
    TagSet tags;              // empty means "stable"
    TagSet promoted_tags;     // tags under which the release is offered on the promoted list
    std::string display_tag;  // the requested tag that kept the release when the list was cropped
    hide_policy_t hide_policy;
    std::vector<std::string> updated_components;  // components with a newer version while installed
    bool component_updates;
};

#endif
