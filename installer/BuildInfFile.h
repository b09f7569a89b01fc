#ifndef KW_INSTALLER_BUILDINFFILE_H
#define KW_INSTALLER_BUILDINFFILE_H

#include <string>
#include <utility>
#include <vector>

#include <boost/shared_ptr.hpp>

class Package;
class TiXmlElement;

// The records of one build file: its system, product and release, components, groups,
// installation types, repositories, package lists and build-wide checks and actions. The
// constructor reads the whole file; afterwards the object only holds what was read, and its users
// read the fields directly.
//
// The packages and the element copies made here are never deleted here: the build loader hands
// them on to package sources and to the actions and settings that it makes.
class BuildInfFile {
public:
    typedef std::vector<std::string> names_t;
    typedef std::vector<Package*> packages_t;

    // One key-package section: the component counts as installed when all of it holds.
    struct keypackages_t {
        names_t keypackages;    // must be installed
        names_t nokeypackages;  // must not be installed
        names_t keyprovides;    // capabilities an installed package must provide
    };

    // One check run before or after an installation.
    struct examine_t {
        std::string scope;
        std::string name;
        std::string script;
        std::string launcher;
        std::string options;
        std::string directory;  // left empty here: the build loader knows where the file lies
        bool always = false;
    };

    struct group_t {
        std::string name;
        std::string description;
        bool radio = false;  // one member at a time
        std::string default_member;
        names_t members;
        std::vector<group_t> groups;  // nested
        bool switch_rules = false;
        std::vector<std::pair<std::string, std::string>> allowed_switches;  // from, to
    };

    struct insttype_t {
        std::string name;
        std::string description;
        names_t components;
    };

    struct repo_t {
        std::string dir;
        std::string headers_file;
        bool persistent = false;
        std::string yum_repo_id;
        std::string yum_repo_name;
    };

    struct component_t {
        std::string name;
        std::string description;
        std::string environment;  // empty (any), "dedicated" or "qz"
        names_t requirements;     // component or group names
        names_t hardwired_with;
        names_t conflicts;
        std::vector<keypackages_t> keypackages;
        names_t expackages;
        names_t rmpackages;
        names_t yxtemplates;
        packages_t bootstrapper_packages;
        TiXmlElement* bootstrapper = nullptr;  // a copy, for the actions
        packages_t packages;
        names_t classes;
        std::vector<examine_t> examines;
        TiXmlElement* settings = nullptr;  // a copy of the last package's "settings"
        bool uninstall_support = true;
        bool hidden = false;
        bool show_installed_hidden = false;
        bool deny_implicit_removal = false;
    };

    // Reads the file at `file`; `configName` is the build's file name as the catalogue gives it,
    // for messages. Throws `error` for malformed content (with ". Error while parse <file>" added to
    // the failures of the build's body), `tinybind::err` for malformed elements the binding reads,
    // and `SelfUpgrade::NeedSelfUpgrade` when the build requires another program version.
    BuildInfFile(const std::string& file, std::string configName);
    BuildInfFile(const BuildInfFile&) = delete;
    BuildInfFile& operator=(const BuildInfFile&) = delete;

    std::vector<group_t> groups;
    std::vector<insttype_t> insttypes;
    std::string config_name;
    std::string product_id;
    std::vector<names_t> product_keypackages;
    names_t upgrade_codes;
    names_t product_codes;
    std::string release_id;
    std::string release_name;
    std::string codename;
    std::string release_version;
    std::string upgrade_allowed_from;
    std::string parameters_file;
    std::string os_name;
    std::string os_vendor;
    std::string os_version;
    std::string os_release_name;
    std::string os_arch;
    std::string environment;
    std::string yx_template_prefix;
    std::string yx_template_suffix;
    std::string apt_source;
    std::string persistent_apt_source;
    std::string deprecated;
    bool send_feedback = false;
    bool uninstall_support = false;
    std::vector<examine_t> examines;
    packages_t bootstrapper_packages;
    TiXmlElement* bootstrapper = nullptr;  // a copy, for the build's actions
    bool gpgcheck = false;
    std::string gpg_public_key;
    repo_t build_repo;
    repo_t thirdparty_repo;
    repo_t extras_repo;
    packages_t thirdparty_packages;
    packages_t ext_catalog_packages;
    std::vector<boost::shared_ptr<component_t>> components;
    names_t preferred_packages;
    names_t force_remove_packages;
    names_t removable_packages;

private:
    void load(const std::string& file, const std::string& configName);
    void loadProduct(TiXmlElement* root);
    void loadBody(TiXmlElement* root, const std::string& file);
    void loadComponents(TiXmlElement* root);
    boost::shared_ptr<component_t> loadComponent(TiXmlElement* element);
    void loadInstallationTypes(TiXmlElement* root);
    void loadRepositories(TiXmlElement* root);
    void loadExtCatalog(TiXmlElement* root);
    void loadPackageLists(TiXmlElement* root);
};

#endif
