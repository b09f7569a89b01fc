#include "installer/BuildInfFile.h"

#include <tinyxml.h>

#include <algorithm>
#include <exception>
#include <list>
#include <memory>

#include "common/ExtCatalogPackage.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/Package.h"
#include "common/error.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "common/tinybind.h"
#include "installer/ExtCatalogFeed.h"
#include "installer/Options.h"
#include "installer/SelfUpgrade.h"

namespace {

const Messages messages;

// Internal errors keep the line numbers under which support knows them.
const int LINE_EMPTY_TYPE_COMPONENT = 260;
const int LINE_TYPE_WITHOUT_COMPONENTS = 265;
const int LINE_BOOTSTRAPPER_PACKAGE = 393;
const int LINE_COMPONENT_PACKAGE = 509;
const int LINE_NOT_AN_EXTENSION_PACKAGE = 665;

const char* const OLD_FEED_API = "/api/v2/packages";

// Every text of an error but the line end after its last part, for one log line.
std::string textOf(const error& e)
{
    return trim_right(e.getText());
}

error fileError(const char* key, const std::string& argument)
{
    return error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << format_message(messages.get(key), argument);
}

// The value as written; an empty value is accepted, an absent attribute is an error.
std::string required(const TiXmlElement* element, const char* name)
{
    const std::string* value = element->Attribute(std::string(name));
    if (!value)
        throw fileError("err_missing_attr", name);
    return *value;
}

std::string optional(const TiXmlElement* element, const char* name)
{
    return tinybind::get_optional_attribute(const_cast<TiXmlElement*>(element), name);
}

bool yesFlag(const TiXmlElement* element, const char* name)
{
    const std::string value = optional(element, name);
    return value == "yes" || value == "true";
}

bool trueFlag(const TiXmlElement* element, const char* name)
{
    return optional(element, name) == "true";
}

// The children of `parent` with the tag, in document order.
std::vector<TiXmlElement*> children(const TiXmlElement* parent, const char* tag)
{
    std::vector<TiXmlElement*> found;
    for (const TiXmlElement* child = parent->FirstChildElement(tag); child; child = child->NextSiblingElement(tag))
        found.push_back(const_cast<TiXmlElement*>(child));
    return found;
}

TiXmlElement* copyOf(const TiXmlElement* element)
{
    return element->Clone()->ToElement();
}

// A package of the build file, given its type; `line` names the internal error of a package
// element that yields none.
Package* makePackage(TiXmlElement* element, Package::type_t type, int line)
{
    Package* package = Package::createFromXml(element, 'n');
    if (!package)
        throw internal_error(__FILE__, line);
    package->setType(type);
    return package;
}

BuildInfFile::repo_t readRepo(const TiXmlElement* element, const char* dirAttribute)
{
    BuildInfFile::repo_t repo;
    repo.dir = required(element, dirAttribute);
    repo.headers_file = optional(element, "headers_file");
    repo.persistent = yesFlag(element, "persistent_repo");
    repo.yum_repo_id = optional(element, "yum_repo_id");
    repo.yum_repo_name = optional(element, "yum_repo_name");
    return repo;
}

// The package children of a bootstrapper and a copy of the whole element, whose actions are read
// elsewhere.
void readBootstrapper(const TiXmlElement* element, BuildInfFile::packages_t& packages, TiXmlElement*& copy)
{
    copy = copyOf(element);
    for (TiXmlElement* child : children(element, "package")) {
        packages.push_back(makePackage(child, 'b', LINE_BOOTSTRAPPER_PACKAGE));
        Log::stream(Log::LEVEL_DEBUG, true) << " add package " << packages.back()->getFileName();
    }
    Log::stream(Log::LEVEL_DEBUG, true) << packages.size() << " build packages added from bootstrapper";
}

void readExamines(const TiXmlElement* parent, std::vector<BuildInfFile::examine_t>& examines)
{
    for (TiXmlElement* child : children(parent, "examine")) {
        BuildInfFile::examine_t examine;
        examine.scope = required(child, "scope");
        examine.name = required(child, "name");
        examine.script = required(child, "script");
        examine.launcher = optional(child, "launcher");
        examine.options = optional(child, "options");
        examine.always = yesFlag(child, "always");
        examines.push_back(examine);
    }
}

// The first text of every child with the tag; children without text add nothing.
void readTexts(const TiXmlElement* parent, const char* tag, BuildInfFile::names_t& names)
{
    for (TiXmlElement* child : children(parent, tag))
        if (const TiXmlText* text = tinybind::first_text_node(child))
            names.push_back(text->ValueStr());
}

// The "name" of every `item` child of the first `list` child; absent names are empty.
void readOptionalNames(const TiXmlElement* parent, const char* list, const char* item, BuildInfFile::names_t& names)
{
    if (const TiXmlElement* element = parent->FirstChildElement(list))
        for (TiXmlElement* child : children(element, item))
            names.push_back(optional(child, "name"));
}

void readRequiredNames(const TiXmlElement* element, const char* item, BuildInfFile::names_t& names)
{
    for (TiXmlElement* child : children(element, item))
        names.push_back(required(child, "name"));
}

std::vector<BuildInfFile::group_t> readGroups(const TiXmlElement* parent)
{
    std::vector<BuildInfFile::group_t> groups;
    for (TiXmlElement* element : children(parent, "group")) {
        BuildInfFile::group_t group;
        group.radio = optional(element, "type") == "radio";
        group.description = optional(element, "description");
        group.name = optional(element, "name");
        for (TiXmlElement* member : children(element, "component")) {
            group.members.push_back(tinybind::get_attribute(member, "name"));
            if (optional(member, "default") == "true")
                group.default_member = tinybind::get_attribute(member, "name");
        }
        if (const TiXmlElement* rules = element->FirstChildElement("switch_rules")) {
            group.switch_rules = true;
            for (TiXmlElement* allow : children(rules, "allow"))
                group.allowed_switches.emplace_back(optional(allow, "from"), optional(allow, "to"));
        }
        group.groups = readGroups(element);
        groups.push_back(group);
    }
    return groups;
}

std::string emptyDescriptionOf(const std::string& name)
{
    return name + " (description empty)";
}

bool listsKeypackage(const BuildInfFile::component_t& component, const std::string& name)
{
    for (const BuildInfFile::keypackages_t& section : component.keypackages)
        if (std::find(section.keypackages.begin(), section.keypackages.end(), name) != section.keypackages.end())
            return true;
    return false;
}

// The signing key's text with its line ends. TinyXML by default joins the lines of every text into
// one, and an armored key on one line is no key to GnuPG: the file is read again for it without that.
std::string keyAsWritten(const std::string& file)
{
    const bool condensed = TiXmlBase::IsWhiteSpaceCondensed();
    TiXmlBase::SetCondenseWhiteSpace(false);
    std::unique_ptr<tinybind::Document> document;
    try {
        document.reset(new tinybind::Document(file));
    } catch (...) {
        TiXmlBase::SetCondenseWhiteSpace(condensed);
        throw;
    }
    TiXmlBase::SetCondenseWhiteSpace(condensed);
    return tinybind::get_text(document->FirstChildElement()->FirstChildElement("gpg_public_key"), false);
}

}  // namespace

BuildInfFile::BuildInfFile(const std::string& file, std::string configName)
{
    load(file, configName);
}

void BuildInfFile::load(const std::string& file, const std::string& configName)
{
    config_name = configName;
    if (file.empty())
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << messages.get("err_inf_fname");
    Log::stream(Log::LEVEL_DEBUG, true) << "Load and parse component list from " << file;

    std::unique_ptr<tinybind::Document> document;
    try {
        document.reset(new tinybind::Document(file));
    } catch (const tinybind::err& e) {
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
            << format_message(messages.get("err_config_parse"), file, e.message);
    }
    TiXmlElement* root = document->FirstChildElement();
    if (!root)
        throw fileError("err_inf3_root", file);
    SelfUpgrade::check_required_KW_version(root);
    if (root->ValueStr() != "build" && root->ValueStr() != "build_1")
        throw fileError("err_binf3_build", file);

    os_name = required(root, "os_name");
    os_vendor = required(root, "os_vendor");
    os_version = required(root, "os_version");
    os_arch = required(root, "os_arch");
    environment = required(root, "environment");
    os_release_name = optional(root, "os_release_name");
    yx_template_prefix = optional(root, "yx-template-prefix");
    yx_template_suffix = optional(root, "yx-template-suffix");
    deprecated = optional(root, "deprecated");

    loadProduct(root);
    try {
        loadBody(root, file);
    } catch (error& e) {
        e << ". Error while parse " << file;
        throw;
    }
    apt_source = optional(root, "apt_source");
    persistent_apt_source = optional(root, "persistent_apt_source");
}

void BuildInfFile::loadProduct(TiXmlElement* root)
{
    const char* const warning = "Warning: There is some error during read optional config section 'product': ";
    try {
        const tinybind::element product = tinybind::get_child(root, "product");
        product_id = optional(product.node, "id");
        for (TiXmlElement* section : children(product.node, "keypackages")) {
            names_t group;
            for (TiXmlElement* keypackage : children(section, "keypackage"))
                group.push_back(tinybind::get_text(keypackage, false));
            product_keypackages.push_back(group);
            for (TiXmlElement* code : children(section, "upgrade_code"))
                upgrade_codes.push_back(tinybind::get_text(code, false));
            for (TiXmlElement* code : children(section, "product_code"))
                product_codes.push_back(tinybind::get_text(code, false));
        }
        const tinybind::element release = tinybind::get_child(product, "release");
        release_id = optional(release.node, "id");
        release_name = optional(release.node, "name");
        codename = optional(release.node, "codename");
        release_version = optional(release.node, "version");
        upgrade_allowed_from = optional(release.node, "upgrade_allowed_from");
        parameters_file = optional(release.node, "parameters_file");
    } catch (const error& e) {
        Log::stream(Log::LEVEL_INFO, true) << warning << textOf(e);
    } catch (const tinybind::err& e) {
        Log::stream(Log::LEVEL_INFO, true) << warning << e.message;
    }
}

void BuildInfFile::loadBody(TiXmlElement* root, const std::string& file)
{
    loadComponents(root);
    loadInstallationTypes(root);
    if (const TiXmlElement* element = root->FirstChildElement("component_groups"))
        groups = readGroups(element);
    loadRepositories(root);
    loadExtCatalog(root);
    loadPackageLists(root);

    send_feedback = yesFlag(root, "send_feedback");
    uninstall_support = yesFlag(root, "uninstall_support");
    const std::string gpg = optional(root, "gpgcheck");
    gpgcheck = gpg == "yes" || gpg == "true" || (gpg == "deb" && Opsys().isDebianBased()) ||
               (gpg == "rpm" && Opsys().isRedHatBased());
    if (TiXmlElement* key = root->FirstChildElement("gpg_public_key")) {
        tinybind::get_text(key, false);  // a key element without its text fails as any text does
        gpg_public_key = keyAsWritten(file);
    }

    if (const TiXmlElement* element = root->FirstChildElement("bootstrapper")) {
        Log::stream(Log::LEVEL_DEBUG, true) << "parse bootstrapper for build";
        readBootstrapper(element, bootstrapper_packages, bootstrapper);
    }
    readExamines(root, examines);
}

void BuildInfFile::loadComponents(TiXmlElement* root)
{
    for (TiXmlElement* child = root->FirstChildElement(); child; child = child->NextSiblingElement()) {
        if (child->ValueStr() == "component") {
            if (boost::shared_ptr<component_t> component = loadComponent(child))
                components.push_back(component);
        } else if (child->ValueStr() == "include") {
            // Stands for another build file, which the build loader refuses to merge.
            boost::shared_ptr<component_t> include(new component_t);
            include->name = "dummy_component_name_for_include";
            include->description = required(child, "config");
            components.push_back(include);
        }
    }
    if (components.empty())
        throw fileError("err_binf3_comps", config_name);
}

boost::shared_ptr<BuildInfFile::component_t> BuildInfFile::loadComponent(TiXmlElement* element)
{
    boost::shared_ptr<component_t> component(new component_t);
    component_t& c = *component;
    c.uninstall_support = optional(element, "uninstall_support") != "false";
    c.name = required(element, "name");
    c.description = required(element, "description");
    if (c.description.empty())
        c.description = emptyDescriptionOf(c.name);
    try {
        c.classes = split_comma_list(optional(element, "classes"));
    } catch (const std::exception& splitter) {
        // The splitter's own failure, under the line that names the component.
        error e;
        e << splitter.what();
        e.addMessage(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
            << format_message("Failed to parse list of classes for product component '%s'.", c.name);
        throw e;
    }
    c.hidden = trueFlag(element, "hidden");
    c.show_installed_hidden = trueFlag(element, "show_installed_hidden");
    c.deny_implicit_removal = trueFlag(element, "deny_implicit_removal");
    c.environment = optional(element, "environment");

    if (const TiXmlElement* bootstrapper = element->FirstChildElement("bootstrapper")) {
        Log::stream(Log::LEVEL_DEBUG, true) << "parse bootstrapper for component " << c.name;
        readBootstrapper(bootstrapper, c.bootstrapper_packages, c.bootstrapper);
    }
    for (TiXmlElement* child : children(element, "keypackages")) {
        keypackages_t section;
        readRequiredNames(child, "keypackage", section.keypackages);
        readRequiredNames(child, "nokeypackage", section.nokeypackages);
        readRequiredNames(child, "keyprovide", section.keyprovides);
        if (section.keypackages.empty() && section.nokeypackages.empty() && section.keyprovides.empty())
            throw fileError("err_binf3_compkey", c.name);
        c.keypackages.push_back(section);
    }
    readOptionalNames(element, "expackages", "expackage", c.expackages);
    readOptionalNames(element, "rmpackages", "rmpackage", c.rmpackages);
    readRequiredNames(element, "yxtemplate", c.yxtemplates);
    readTexts(element, "hardwired_with", c.hardwired_with);
    readTexts(element, "requires", c.requirements);
    readTexts(element, "conflicts", c.conflicts);
    for (TiXmlElement* child : children(element, "package")) {
        c.packages.push_back(makePackage(child, 'b', LINE_COMPONENT_PACKAGE));
        if (const TiXmlElement* settings = child->FirstChildElement("settings"))
            c.settings = copyOf(settings);
    }
    readExamines(element, c.examines);

    if (c.packages.empty() && c.keypackages.empty() && c.yxtemplates.empty()) {
        Log::stream(Log::LEVEL_ERROR, true)
            << "Warning: component " << c.name << " have no build or keypackages, ignore.";
        return boost::shared_ptr<component_t>();
    }
    return component;
}

void BuildInfFile::loadInstallationTypes(TiXmlElement* root)
{
    const TiXmlElement* types = root->FirstChildElement("installation_types");
    if (!types)
        return;
    for (TiXmlElement* element : children(types, "type")) {
        insttype_t type;
        type.description = optional(element, "description");
        type.name = optional(element, "name");
        for (TiXmlElement* component : children(element, "component")) {
            const std::string name = tinybind::get_text(component, false);
            if (name.empty())
                throw internal_error(__FILE__, LINE_EMPTY_TYPE_COMPONENT);
            type.components.push_back(name);
        }
        if (type.components.empty())
            throw internal_error(__FILE__, LINE_TYPE_WITHOUT_COMPONENTS);
        insttypes.push_back(type);
    }
}

void BuildInfFile::loadRepositories(TiXmlElement* root)
{
    build_repo = readRepo(root, "build_dir");
    if (const TiXmlElement* thirdparty = root->FirstChildElement("thirdparty")) {
        thirdparty_repo = readRepo(thirdparty, "thirdparty_dir");
        for (TiXmlElement* child : children(thirdparty, "package"))
            thirdparty_packages.push_back(makePackage(child, 't', LINE_COMPONENT_PACKAGE));
    } else {
        Log::stream(Log::LEVEL_INFO, true) << "No thirdparty section in this build";
    }
    if (const TiXmlElement* extras = root->FirstChildElement("extras"))
        extras_repo = readRepo(extras, "extras_dir");
    else
        Log::stream(Log::LEVEL_INFO, true) << "No extra section in this build";
}

void BuildInfFile::loadExtCatalog(TiXmlElement* root)
{
    const Options& options = Options::instance();
    if (options.isExtCatalogNotNeeded())
        return;
    const TiXmlElement* catalog = root->FirstChildElement("ext_catalog");
    if (!catalog) {
        Log::stream(Log::LEVEL_DEBUG, true) << "No ext_catalog section in this build";
        return;
    }
    const TiXmlElement* templatePackage = catalog->FirstChildElement("package");
    if (!templatePackage)
        Log::stream(Log::LEVEL_DEBUG, true) << "No package section in ext_catalog section";

    std::string url = options.extCatalogUrl.empty() ? required(catalog, "url") : options.extCatalogUrl;
    const std::string::size_type old = url.rfind(OLD_FEED_API);
    if (url.size() >= 16 && old != std::string::npos) {
        const std::string cut = url.substr(0, old);
        Log::stream(Log::LEVEL_ERROR, true)
            << format_message(messages.get("old_format_api_ext_catalog_feed"), url, cut);
        url = cut;
    }

    // Components whose file gives no description of their own take the display name of the
    // extension they stand for.
    std::list<component_t*> candidates;
    for (const boost::shared_ptr<component_t>& component : components)
        if (component->description.empty() || component->description == emptyDescriptionOf(component->name))
            candidates.push_back(component.get());

    try {
        const ExtCatalog::Feed::items_t items = ExtCatalog::Feed(url).getPackages("unix", release_version);
        for (const auto& item : items) {
            const std::string& code = item.first;
            const std::string name = "ext-" + code;
            // Kept by the package, like every package element of the build file.
            TiXmlElement* element = templatePackage ? copyOf(templatePackage) : new TiXmlElement("package");
            element->SetAttribute("name", name);
            element->SetAttribute("file", "");
            element->SetAttribute("arch", "noarch");
            ExtCatalogPackage* package = dynamic_cast<ExtCatalogPackage*>(Package::createFromXml(element, 'e'));
            if (!package)
                throw internal_error(__FILE__, LINE_NOT_AN_EXTENSION_PACKAGE);
            package->setCode(code);
            package->setDisplayName(item.second.name);
            package->setDownloadUrl(item.second.download_url);
            ext_catalog_packages.push_back(package);

            if (item.second.name.empty())
                continue;
            for (auto candidate = candidates.begin(); candidate != candidates.end(); ++candidate) {
                if (listsKeypackage(**candidate, name)) {
                    (*candidate)->description = item.second.name;
                    candidates.erase(candidate);
                    break;
                }
            }
        }
    } catch (const error& e) {
        Log::stream(Log::LEVEL_VERBOSE, true)
            << format_message(messages.get("err_ext_catalog_collect_packages"), textOf(e));
    }
}

void BuildInfFile::loadPackageLists(TiXmlElement* root)
{
    if (const TiXmlElement* element = root->FirstChildElement("removable_packages"))
        readRequiredNames(element, "package", removable_packages);
    else
        Log::stream(Log::LEVEL_INFO, true) << "No removers section in this build.";
    if (root->FirstChildElement("force_remove_packages"))
        readOptionalNames(root, "force_remove_packages", "package", force_remove_packages);
    else
        Log::stream(Log::LEVEL_INFO, true) << "No force remove packages list in this build.";
    if (const TiXmlElement* element = root->FirstChildElement("preferred_packages"))
        readRequiredNames(element, "package", preferred_packages);
    else
        Log::stream(Log::LEVEL_INFO, true) << "No preferrers section in this build.";
}
