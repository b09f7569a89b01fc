#include "installer/BuildManager.h"

#include <tinyxml.h>

#include <algorithm>
#include <map>
#include <memory>
#include <set>
#include <sstream>

#include "common/FileFetcher.h"
#include "common/Log.h"
#include "common/Messages.h"
#include "common/Opsys.h"
#include "common/error.h"
#include "common/fileops.h"
#include "common/format_message.h"
#include "common/textutils.h"
#include "installer/BuildInfFile.h"
#include "installer/Product.h"
#include "installer/SelfUpgrade.h"

namespace {

const Messages messages;

// The line that the internal error of an unset update mode names, as support knows it.
const int LINE_UPDATE_MODE_NOT_CALCULATED = 49;

void debug(const std::string& text)
{
    Log::stream(Log::LEVEL_DEBUG, true) << text;
}

// A malformed catalogue file: the message filled with its arguments, codes (1, 1, 1, 3).
template <typename... Args>
error catalogue_error(const char* key, const Args&... args)
{
    return error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << format_message(messages.get(key), args...);
}

std::string row_and_col(const TiXmlNode* node)
{
    int row = 0;
    int col = 0;
    tinybind::get_position(node, row, col);
    return "row " + std::to_string(row) + ", col " + std::to_string(col);
}

// The value of a required attribute of a release or build element. The position text names the
// element's place in `file`; with `in_file`, the file is named in it as well. Finding a position
// parses the file again, so it is only done for the error.
std::string required_attribute(const tinybind::element& element, const char* name, const char* key,
                               const std::string& file, bool in_file)
{
    if (const std::string* value = element.node->Attribute(std::string(name)))
        return *value;
    throw catalogue_error(key, file, " (" + (in_file ? file + ": " : std::string()) + row_and_col(element.node) + ")");
}

// The version as the catalogue wrote it, with epoch and release.
std::string version_text(const Release& release)
{
    return release.get_version().toString();
}

bool of_product(const boost::shared_ptr<Release>& release, const std::string& product_id)
{
    return release->prod()->id() == product_id;
}

bool contains(const std::vector<std::string>& list, const std::string& text)
{
    return std::find(list.begin(), list.end(), text) != list.end();
}

// The display names of the product ids that the single build file format leaves without one.
std::string single_build_product_name(const std::string& id)
{
    if (id == "zanth")
        return "Zanth";
    if (id == "folioforge")
        return "Folioforge";
    if (id == "zud")
        return "ZUD";
    return id;
}

struct hide_word_t {
    const char* word;
    Release::hide_policy_t value;
};

const hide_word_t HIDE_WORDS[] = {
    {"none", 0}, {"cli", 1},        {"web", 2},           {"interactive", 3},     {"query", 4},        {"other", 8},
    {"all", 15}, {"filtered", 256}, {"nonfiltered", 512}, {"autoassigned", 1024}, {"inanycase", 1792},
};

}  // namespace

const char* const BuildManager::DEFAULT_PRODUCT_ID = "zanth";

void BuildManager::Visitor::endRelease(boost::shared_ptr<Release>) {}

BuildManager::Visitor::~Visitor() = default;

// ------------------------------------------------------------------------------------------------
// Loading

BuildManager::BuildManager(FileFetcher& fetcher, const std::string& source_filename)
{
    debug("BuildManager::BuildManager: source_filename=" + source_filename);
    const std::vector<std::string> candidates = source_filename.empty()
                                                    ? std::vector<std::string>{"products.inf3", "versions.inf3"}
                                                    : std::vector<std::string>{source_filename};
    std::string index;
    std::string failures;
    for (const std::string& candidate : candidates) {
        try {
            index = fetcher.getFile(candidate);
            break;
        } catch (const error& e) {
            failures += "Can't process " + candidate + ": " + e.getText() + "\n";
        }
    }
    if (index.empty())
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE)
            << messages.get("err_read_prodsinfo") << ": " << failures;

    // A binding failure anywhere in the index or a product's file is reported against the index.
    try {
        tinybind::Document document(index);
        const tinybind::element root = document.get_root();
        std::vector<entry_t> products;
        std::vector<entry_t> addon_entries;
        const std::string& kind = root.node->ValueStr();
        if (kind == "vendors") {
            SelfUpgrade::check_required_KW_version(root.node);
            parseVendors(root, products, addon_entries);
        } else if (kind == "product") {
            SelfUpgrade::check_required_KW_version(root.node);
            entry_t entry;
            entry.id = tinybind::get_optional_attribute(root, "id");
            entry.name = tinybind::get_optional_attribute(root, "name");
            entry.hidden_to_install = string_to_bool(tinybind::get_optional_attribute(root, "hidden_to_install"));
            entry.reference = fileops::basename(index);
            products.push_back(entry);
        } else if (kind == "build" || kind == "build_1") {
            parseSingleBuild(index);
        } else {
            throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << "Unsupported config file";
        }
        for (const entry_t& entry : products)
            parseProduct(entry, fetcher.getFile(entry.reference));
        for (const entry_t& entry : addon_entries)
            parseAddon(entry, fetcher.getFile(entry.reference));
    } catch (const tinybind::err& e) {
        throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_MAYBE) << "Can't parse " << index << ": " << e.message;
    }
}

void BuildManager::parseVendors(const tinybind::element& root, std::vector<entry_t>& products,
                                std::vector<entry_t>& addon_entries)
{
    for (tinybind::iterator vendor(root, "vendor"), end; vendor != end; ++vendor) {
        const tinybind::element list = tinybind::get_child(*vendor, "products");
        for (tinybind::iterator item(list), last; item != last; ++item) {
            const tinybind::element element = *item;
            const std::string& tag = element.node->ValueStr();
            if (tag != "product" && tag != "addon" && tag != "lazy_addon")
                continue;
            entry_t entry;
            entry.id = tinybind::get_optional_attribute(element, "id");
            entry.name = tinybind::get_optional_attribute(element, "name");
            entry.reference = tinybind::get_optional_attribute(element, "reference");
            if (tag == "product") {
                entry.hidden_to_install =
                    string_to_bool(tinybind::get_optional_attribute(element, "hidden_to_install"));
                parseIncompatibleWith(element, entry);
                products.push_back(entry);
            } else {
                entry.lazy = tag == "lazy_addon";
                addon_entries.push_back(entry);
            }
        }
    }
}

void BuildManager::parseIncompatibleWith(const tinybind::element& product, entry_t& entry)
{
    for (tinybind::iterator item(product, "incompatible_with"), end; item != end; ++item)
        entry.incompatible_with.push_back(tinybind::get_attribute(*item, "prod_id"));
}

void BuildManager::parseProduct(const entry_t& entry, const std::string& path)
{
    debug("Try to read and parse " + path);
    current_file = path;
    std::unique_ptr<tinybind::Document> document;
    try {
        document.reset(new tinybind::Document(path));
    } catch (const tinybind::err& e) {
        throw catalogue_error("err_inf3_parse", path, e.message);
    }
    const tinybind::element root = document->FirstChildElement();
    if (!root.node)
        throw catalogue_error("err_inf3_root", path);
    if (root.node->ValueStr() != "product")
        throw catalogue_error("err_inf3_nonprod", path);
    if (tinybind::get_optional_attribute(root, "id").empty())
        throw catalogue_error("err_inf3_noid", path);
    SelfUpgrade::check_required_KW_version(root.node);

    Product::keypackages_t keypackages;
    std::vector<std::string> upgrade_codes;
    std::vector<std::string> product_codes;
    for (tinybind::iterator group(root, "keypackages"), end; group != end; ++group) {
        keypackages.emplace_back();
        for (tinybind::iterator key(*group, "keypackage"), last; key != last; ++key)
            keypackages.back().push_back(tinybind::get_text(*key, false));
        for (tinybind::iterator code(*group, "upgrade_code"), last; code != last; ++code)
            upgrade_codes.push_back(tinybind::get_text(*code, true));
        for (tinybind::iterator code(*group, "product_code"), last; code != last; ++code)
            product_codes.push_back(tinybind::get_text(*code, true));
    }
    if (keypackages.empty() || keypackages.front().empty())
        throw catalogue_error("err_prod_keypkg", path);

    auto source = [&root](const char* tag) {
        TiXmlElement* child = root.node->FirstChildElement(tag);
        return child ? tinybind::get_optional_attribute(child, "src") : std::string();
    };
    const boost::shared_ptr<Product> product(
        new Product(entry.id, entry.name, entry.hidden_to_install, keypackages, upgrade_codes, product_codes,
                    source("active_icon"), source("disabled_icon"), source("product_site"),
                    source("kb_article_upgrade_from_not_supported_versions"), entry.incompatible_with));
    parseReleases(root, product, fileops::dirname(entry.reference));
}

void BuildManager::parseReleases(const tinybind::element& root, const boost::shared_ptr<Product>& product,
                                 const std::string& base)
{
    bool any = false;
    for (tinybind::iterator item(root), end; item != end; ++item) {
        const std::string& tag = (*item).node->ValueStr();
        if (tag != "release" && tag != "release_1")
            continue;
        any = true;
        parseRelease(*item, product, base);
    }
    if (!any)
        throw catalogue_error("err_inf3_norel", current_file);
}

void BuildManager::parseRelease(const tinybind::element& element, const boost::shared_ptr<Product>& product,
                                const std::string& base)
{
    auto required = [&](const char* name, const char* key) {
        return required_attribute(element, name, key, current_file, false);
    };
    const std::string id = required("id", "err_inf3_relid");
    const std::string name = required("name", "err_inf3_relname");
    const std::string codename = tinybind::get_optional_attribute(element, "codename");
    const std::string version = required("version", "err_inf3_relver");
    const std::string upgrade_allowed_from = required("upgrade_allowed_from", "err_inf3_upgalw");
    const boost::shared_ptr<Release> release(new Release(product, id, name, codename, version, upgrade_allowed_from));

    release->set_details_url(tinybind::get_optional_attribute(element, "details_url"));
    release->set_tags(tinybind::get_optional_attribute(element, "tags"));
    release->set_promoted_tags(tinybind::get_optional_attribute(element, "promoted_tags"));
    release->set_hide_policy(parseHideTags(tinybind::get_optional_attribute(element, "hide_tags")));
    release->set_tarn_api_version(tinybind::get_optional_attribute(element, "tarn_api_version"));
    release->set_dispatcher_api_version(tinybind::get_optional_attribute(element, "dispatcher_api_version"));
    if (const TiXmlElement* caution = element.node->FirstChildElement("caution"))
        if (const TiXmlNode* first = caution->FirstChild())
            if (const TiXmlText* text = first->ToText())
                release->set_caution(text->ValueStr());

    if (!element.node->FirstChildElement("build")) {
        Log::stream(Log::LEVEL_INFO, true) << "In release " + id + " no builds";
        return;
    }
    for (tinybind::iterator build(element, "build"), end; build != end; ++build)
        release->add_build(parseBuild(release, *build, base));
    parseBestWith(element, *release);
    releases.push_back(release);
}

boost::shared_ptr<Build> BuildManager::parseBuild(const boost::shared_ptr<Release>& parent,
                                                  const tinybind::element& element, const std::string& base)
{
    auto required = [&](const char* name, const char* key) {
        return required_attribute(element, name, key, current_file, true);
    };
    const std::string os_name = required("os_name", "err_inf3_osname");
    const std::string os_vendor = required("os_vendor", "err_inf3_vndr");
    const std::string os_version = required("os_version", "err_inf3_osver");
    const std::string os_arch = required("os_arch", "err_inf3_osarch");
    const std::string environment = tinybind::get_optional_attribute(element, "environment");
    std::string config = required("config", "err_inf3_bcfg");
    if (!base.empty())
        config = base + "/" + config;
    const boost::shared_ptr<Build> build(new Build(parent, os_name, os_vendor, os_version, os_arch, "", environment,
                                                   config, tinybind::get_optional_attribute(element, "deprecated")));
    build->setSource(base);
    return build;
}

void BuildManager::parseBestWith(const tinybind::element& element, Release& release)
{
    tinybind::element info = element;
    if (!info.find_child("compatibility_info").node) {
        debug("parseBestWith: no compatibility info in " + release.get_name());
        return;
    }
    for (tinybind::iterator best(info, "best_with"), end; best != end; ++best) {
        const std::string product_id = tinybind::get_optional_attribute(*best, "product_id");
        if (product_id.empty())
            throw error() << "Empty prod_id in best_with";
        for (tinybind::iterator item(*best, "version"), last; item != last; ++item) {
            const std::string version = tinybind::get_text(*item, false);
            if (version.empty())
                throw error() << "Empty version in prod_id=" << product_id << " in best_with";
            debug("parseBestWith: product " + release.get_name() + " best with " + product_id + " " + version);
            release.add_best_with(product_id, version);
        }
    }
}

Release::hide_policy_t BuildManager::parseHideTags(const std::string& value)
{
    Release::hide_policy_t policy = 0;
    if (value.empty())
        return policy;
    size_t start = 0;
    for (;;) {
        const size_t stop = value.find_first_of(", ", start);
        const std::string word = value.substr(start, stop == std::string::npos ? std::string::npos : stop - start);
        const auto known = std::find_if(std::begin(HIDE_WORDS), std::end(HIDE_WORDS),
                                        [&word](const hide_word_t& entry) { return word == entry.word; });
        if (known != std::end(HIDE_WORDS)) {
            policy |= known->value;
            debug("Added control word '" + word + "' to display tag hide policy");
        } else {
            Log::stream(Log::LEVEL_VERBOSE, true)
                << "Unrecognized control word '" + word + "' in display tag hide policy (hide_tags attribute)";
        }
        if (stop == std::string::npos)
            return policy;
        start = stop + 1;
    }
}

void BuildManager::parseAddon(const entry_t& entry, const std::string& path)
{
    debug("DEBUG: BuildManager::parseAddon: " + path);
    current_file = path;
    // A broken addon file costs only its own remaining addons.
    std::string failure;
    try {
        tinybind::Document document(path);
        const tinybind::element root = document.get_root("addon");
        const std::string base = fileops::dirname(entry.reference);
        for (tinybind::iterator item(root, "release"), end; item != end; ++item) {
            const tinybind::element element = *item;
            const boost::shared_ptr<Addon> addon(new Addon(
                tinybind::get_optional_attribute(element, "id"), tinybind::get_optional_attribute(element, "name"),
                tinybind::get_optional_attribute(element, "version"), entry.lazy));
            tinybind::element info = element;
            if (!info.find_child("compatibility_info").node)
                throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED) << "Absent compatibility_info in addon";
            for (tinybind::iterator record(info, "compatible"), last; record != last; ++record)
                addon->addCompatible(tinybind::get_optional_attribute(*record, "product_id"),
                                     tinybind::get_optional_attribute(*record, "from_version"),
                                     tinybind::get_optional_attribute(*record, "to_version"));
            if (!addon->hasCompatible())
                throw error(E_REPOSITORY, REP_NONE, SYS_STABLE, SUPP_NEED)
                    << "Absent compatibility info in addon " << tinybind::get_optional_attribute(element, "id");

            const Version version(addon->getVersion());
            const auto after = std::find_if(
                addons.begin(), addons.end(),
                [&version](const boost::shared_ptr<Addon>& a) { return Version(a->getVersion()) > version; });
            addons.insert(after, addon);

            bool any = false;
            for (tinybind::iterator build(element, "build"), last; build != last; ++build) {
                const boost::shared_ptr<Build> made = parseBuild(boost::shared_ptr<Release>(), *build, base);
                addon->getBuilds().add(made);
                std::ostringstream description;
                description << *made;
                debug("Addon add " + description.str());
                any = true;
            }
            if (!any)
                Log::stream(Log::LEVEL_INFO, true) << "In Addon " + addon->getId() + " no builds";
        }
        return;
    } catch (const error& e) {
        failure = e.getText();
    } catch (const tinybind::err& e) {
        failure = e.message;
    }
    Log::stream(Log::LEVEL_VERBOSE, true) << "Error in parse " + path + ": " + failure;
}

void BuildManager::parseSingleBuild(const std::string& path)
{
    const BuildInfFile file(path, fileops::basename(path));
    if (file.product_keypackages.empty() || file.product_keypackages.front().empty())
        throw catalogue_error("err_prod_keypkg", path);
    const boost::shared_ptr<Product> product(
        new Product(file.product_id, single_build_product_name(file.product_id), false, file.product_keypackages,
                    file.upgrade_codes, file.product_codes, "", "", "", "", std::vector<std::string>()));
    const boost::shared_ptr<Release> release(new Release(product, file.release_id, file.release_name, file.codename,
                                                         file.release_version, file.upgrade_allowed_from));
    release->add_build(boost::shared_ptr<Build>(new Build(release, file.os_name, file.os_vendor, file.os_version,
                                                          file.os_arch, file.os_release_name, file.environment,
                                                          fileops::basename(path), file.deprecated)));
    releases.push_back(release);
}

// ------------------------------------------------------------------------------------------------
// Walk and lists

void BuildManager::visit(Visitor& visitor) const
{
    // On a copy: visitors may remove releases while they walk.
    for (const boost::shared_ptr<Release>& release : getReleases(true)) {
        visitor.visitRelease(release);
        for (const boost::shared_ptr<Build>& build : release->get_builds())
            visitor.visitBuild(build.get());
        visitor.endRelease(release);
    }
    for (const boost::shared_ptr<Addon>& addon : addons_t(addons))
        visitor.visitAddon(addon.get());
}

BuildManager::releases_t BuildManager::getReleases(bool with_promoted) const
{
    releases_t list;
    if (with_promoted)
        list = promoted;
    list.insert(list.end(), releases.begin(), releases.end());
    return list;
}

void BuildManager::removeRelease(const boost::weak_ptr<Release>& release)
{
    const boost::shared_ptr<Release> gone(release);  // throws for an expired reference
    releases.erase(std::remove(releases.begin(), releases.end(), gone), releases.end());
}

// ------------------------------------------------------------------------------------------------
// Lookups

boost::shared_ptr<Release> BuildManager::findRelease(const std::string& release_id) const
{
    for (const boost::shared_ptr<Release>& release : releases)
        if (release->get_id() == release_id)
            return release;
    return boost::shared_ptr<Release>();
}

boost::shared_ptr<Product> BuildManager::findProduct(const std::string& product_id) const
{
    for (const boost::shared_ptr<Release>& release : getReleases(true))
        if (of_product(release, product_id))
            return release->prod();
    return boost::shared_ptr<Product>();
}

boost::shared_ptr<Release> BuildManager::findReleaseByVersion(const std::string& product_id,
                                                              const std::string& version) const
{
    const Version wanted(version);
    for (const boost::shared_ptr<Release>& release : releases)
        if (of_product(release, product_id) && release->get_version() == wanted)
            return release;
    return boost::shared_ptr<Release>();
}

std::string BuildManager::getLatestReleaseId(const std::string& product_id) const
{
    const boost::shared_ptr<Release>* latest = nullptr;
    const Version floor("0");
    for (const boost::shared_ptr<Release>& release : releases)
        if (of_product(release, product_id) && release->get_version() > (latest ? (*latest)->get_version() : floor))
            latest = &release;
    return latest ? (*latest)->get_id() : std::string();
}

std::string BuildManager::getCurrentReleaseId(const std::string& product_id) const
{
    for (const boost::shared_ptr<Release>& release : releases)
        if (of_product(release, product_id) && release->is_current())
            return release->get_id();
    return "";
}

std::string BuildManager::getCurrentReleaseVersion(const std::string& product_id) const
{
    // Without a current release there is no id to look up: a release with an empty id is not it.
    const std::string id = getCurrentReleaseId(product_id);
    const boost::shared_ptr<Release> current = id.empty() ? boost::shared_ptr<Release>() : findRelease(id);
    return current ? current->get_version().getVersion() : std::string();
}

std::string BuildManager::getInstalledVersion(const std::string& product_id) const
{
    for (const boost::shared_ptr<Release>& release : releases)
        if (of_product(release, product_id) && release->is_actual() && !release->get_installed_version().empty())
            return release->get_installed_version();
    return "";
}

std::vector<std::string> BuildManager::getInstalledProductIds() const
{
    std::vector<std::string> ids;
    for (const boost::shared_ptr<Release>& release : releases)
        if (release->is_current())
            ids.push_back(release->prod()->id());
    return ids;
}

std::string BuildManager::getSelectedReleaseId(const std::string& product_id) const
{
    for (const boost::shared_ptr<Release>& release : getReleases(true))
        if (of_product(release, product_id) && release->is_selected())
            return release->get_id();
    return "";
}

std::string BuildManager::getSelectedReleaseVersion(const std::string& product_id) const
{
    for (const boost::shared_ptr<Release>& release : releases)
        if (of_product(release, product_id) && release->is_selected())
            return version_text(*release);
    return "";
}

std::vector<std::string> BuildManager::getSelectedReleaseIds() const
{
    std::vector<std::string> ids;
    for (const boost::shared_ptr<Release>& release : getReleases(true))
        if (release->is_selected())
            ids.push_back(release->get_id());
    return ids;
}

bool BuildManager::isProductSelected(const std::string& product_id) const
{
    const releases_t all = getReleases(true);
    return std::any_of(all.begin(), all.end(), [&product_id](const boost::shared_ptr<Release>& release) {
        return of_product(release, product_id) && release->is_selected();
    });
}

std::vector<std::string> BuildManager::getCurrentReleaseNames(const releases_t& list)
{
    std::vector<std::string> names;
    for (const boost::shared_ptr<Release>& release : list)
        if (release->is_current())
            names.push_back(release->get_name());
    return names;
}

// ------------------------------------------------------------------------------------------------
// Selection

void BuildManager::selectRelease(const std::string& product_id, const std::string& release_id)
{
    bool product_found = false;
    bool release_found = false;
    for (const boost::shared_ptr<Release>& release : getReleases(true)) {
        if (!product_id.empty() && !of_product(release, product_id))
            continue;
        product_found = true;
        const bool wanted = release->get_id() == release_id;
        release_found = release_found || wanted;
        release->set_selected(wanted);
    }
    if (product_found && release_found)
        return;
    const std::string product = product_id.empty() ? format_message("<default=%s>", DEFAULT_PRODUCT_ID) : product_id;
    error e(E_USER, REP_NONE, SYS_STABLE, SUPP_MAYBE);
    if (!product_found)
        e << format_message(messages.get("err_no_product_id"), product);
    else
        e << format_message(messages.get("err_no_release_id"), release_id, product);
    throw e << "\n" << messages.get("err_no_prod_rel_id_advice");
}

void BuildManager::unselectProductReleases(const std::string& product_id)
{
    for (const boost::shared_ptr<Release>& release : getReleases(true))
        if (of_product(release, product_id))
            release->set_selected(false);
}

void BuildManager::unselectAllReleases()
{
    for (const boost::shared_ptr<Release>& release : getReleases(true))
        release->set_selected(false);
}

void BuildManager::selectDefaultProductRelease()
{
    const std::string prefix = "DEBUG: Selecting release of default product if no releases are current";
    debug(prefix + "...");
    if (std::any_of(releases.begin(), releases.end(),
                    [](const boost::shared_ptr<Release>& release) { return release->is_current(); })) {
        debug(prefix + ": nothing to do, there are current releases");
        return;
    }
    const std::string latest = getLatestReleaseId(DEFAULT_PRODUCT_ID);
    if (latest.empty()) {
        debug(prefix + ": nothing to do, cannot select latest release id for " + DEFAULT_PRODUCT_ID);
        return;
    }
    selectRelease(DEFAULT_PRODUCT_ID, latest);
    debug(prefix + ": done, selected " + DEFAULT_PRODUCT_ID + "/" + latest);
}

// ------------------------------------------------------------------------------------------------
// Filtering and checks

void BuildManager::calculateReleasesState(Repository& repository)
{
    for (const boost::shared_ptr<Release>& release : releases)
        release->calculate_state(&repository);
}

void BuildManager::checkNotSupportedUpgrades(const std::vector<std::string>& tags)
{
    warnings.clear();
    std::vector<std::string> handled;
    for (const boost::shared_ptr<Release>& release : releases) {
        const std::string& installed = release->get_installed_version();
        const boost::shared_ptr<Product>& product = release->prod();
        if (installed.empty() || contains(handled, product->id()))
            continue;
        handled.push_back(product->id());

        const Version installed_version(installed);
        bool blocked = false;
        const Release* highest = nullptr;  // the highest actual release it may go to
        for (const boost::shared_ptr<Release>& other : releases) {
            if (other->prod()->id() != product->id() || !(other->get_version() > installed_version))
                continue;
            if (std::none_of(tags.begin(), tags.end(),
                             [&other](const std::string& tag) { return other->get_tags().contains(tag); }))
                continue;
            blocked = blocked || installed_version < other->get_upgrade_allowed_from();
            if (other->is_actual() && (!highest || other->get_version() > highest->get_version()))
                highest = other.get();
        }
        if (blocked && highest && highest->get_version() > Version("0"))
            warnings.push_back(format_message(messages.get("upgrade_from_not_supported_versions"),
                                              product->name() + " " + installed,
                                              product->name() + " " + version_text(*highest), product->kb_article()));
    }

    const bool default_installed = contains(handled, DEFAULT_PRODUCT_ID);
    struct windows_t {
        std::vector<const char*> names;
        const char* version;
        const char* key;
    };
    const windows_t systems[] = {
        {{"Windows-server"}, "5.2", "os_win2003_not_supported"},
        {{"Windows-server"},
         "6.0",
         default_installed ? "os_win2008_not_supported_product_installed"
                           : "os_win2008_not_supported_product_not_installed"},
        {{"Windows-server", "Windows-server-core"},
         "6.1",
         default_installed ? "os_win2008r2_not_supported_product_installed"
                           : "os_win2008r2_not_supported_product_not_installed"},
        {{"Windows-workstation"}, "", "os_win_workstation_not_supported"},
    };
    const Opsys running;
    for (const windows_t& system : systems)
        if (std::any_of(system.names.begin(), system.names.end(), [&](const char* name) {
                return Opsys(name, "Microsoft", system.version, "", "").matches(running, true);
            }))
            warnings.push_back(messages.get(system.key));
}

void BuildManager::removeNotActualReleases()
{
    debug("DEBUG: Removing not actual releases...");
    releases.erase(std::remove_if(releases.begin(), releases.end(),
                                  [](const boost::shared_ptr<Release>& release) { return !release->is_actual(); }),
                   releases.end());

    // Releases of products that cannot be installed beside a product already installed.
    class to_remove : public Visitor {
    public:
        explicit to_remove(const BuildManager& catalogue_) : catalogue(catalogue_) {}

        void visitRelease(boost::shared_ptr<Release> release) override
        {
            const std::string& product = release->prod()->id();
            if (!seen.insert(product).second)
                return;
            const std::string installed = catalogue.getInstalledVersion(product);
            if (installed.empty())
                return;
            for (const boost::shared_ptr<Release>& other : catalogue.releases) {
                if (other->prod()->id() == product)
                    continue;
                if ((release->is_incompatible_with(*other) || other->is_incompatible_with(*release)) &&
                    drop.insert(other).second)
                    debug("DEBUG: drop " + other->get_id() + " because version " + installed +
                          " of conflicting product '" + product + "' is already installed.");
            }
        }
        void visitAddon(const Addon*) override {}
        void visitBuild(const Build*) override {}

        std::set<boost::shared_ptr<Release>> drop;

    private:
        const BuildManager& catalogue;
        std::set<std::string> seen;
    };
    to_remove conflicting(*this);
    visit(conflicting);
    releases.erase(std::remove_if(releases.begin(), releases.end(),
                                  [&conflicting](const boost::shared_ptr<Release>& release) {
                                      return conflicting.drop.count(release) != 0;
                                  }),
                   releases.end());
    debug("DEBUG: Removing not actual releases: done");
}

void BuildManager::removeHiddenForCleanInstall()
{
    debug("DEBUG: Removing releases of products that are hidden for clean installation...");
    releases_t kept;
    for (const boost::shared_ptr<Release>& release : releases) {
        const Release::update_mode_t mode = release->get_update_mode();
        if (mode == Release::NOT_CALCULATED)
            throw internal_error(__FILE__, LINE_UPDATE_MODE_NOT_CALCULATED);
        if (mode != Release::INSTALL || !release->prod()->hidden_to_install())
            kept.push_back(release);
    }
    releases.swap(kept);
    debug("DEBUG: Removing releases of products that are hidden for clean installation: done");
}

void BuildManager::cropReleasesByTags(const std::vector<std::string>& tags, const std::vector<std::string>& keep)
{
    auto listed = [](const std::vector<std::string>& words) {
        std::string text;
        for (const std::string& word : words)
            text += " '" + word + "'";
        return text + ")";
    };
    debug("DEBUG: Cropping releases by tags (" + listed(tags));
    if (!keep.empty())
        debug("DEBUG: Keep releases (" + listed(keep));
    if (tags.empty())
        return;

    promoted.clear();
    // Per product, the requested tags that no release took yet, as a tag and as a promoted tag.
    std::map<std::string, std::vector<std::string>> remaining;
    std::map<std::string, std::vector<std::string>> remaining_promoted;
    releases_t kept;
    for (const boost::shared_ptr<Release>& release : releases) {
        const std::string& product = release->prod()->id();
        if (!remaining.count(product)) {
            remaining[product] = tags;
            remaining_promoted[product] = tags;
        }
        std::vector<std::string>& left = remaining[product];
        std::vector<std::string>& left_promoted = remaining_promoted[product];

        bool matched = false;
        for (auto tag = left.begin(); tag != left.end();) {
            if (!release->get_tags().contains(*tag)) {
                ++tag;
                continue;
            }
            if (!matched)
                release->set_display_tag(*tag);
            matched = true;
            left_promoted.erase(std::remove(left_promoted.begin(), left_promoted.end(), *tag), left_promoted.end());
            tag = left.erase(tag);
        }
        bool promoted_matched = false;
        if (!matched) {
            const size_t before = left_promoted.size();
            left_promoted.erase(std::remove_if(left_promoted.begin(), left_promoted.end(),
                                               [&release](const std::string& tag) {
                                                   return release->get_promoted_tags().contains(tag);
                                               }),
                                left_promoted.end());
            promoted_matched = left_promoted.size() != before;
        }

        if (contains(keep, release->get_id()) || release->is_current() || matched)
            kept.push_back(release);
        else if (promoted_matched)
            promoted.push_back(release);
    }
    releases.swap(kept);
}
