#ifndef KW_INSTALLER_BUILDMANAGER_H
#define KW_INSTALLER_BUILDMANAGER_H

#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>
#include <boost/weak_ptr.hpp>

#include "common/tinybind.h"
#include "installer/Addon.h"
#include "installer/Build.h"
#include "installer/Release.h"

class FileFetcher;
class Product;
class Repository;

// The catalogue of the installation source: its products, their releases with the builds of each
// release, and the addons. The constructor reads the catalogue index and every file it names; the
// queries, filters and the walk then serve the driver, the wizard and the build loader.
class BuildManager {
public:
    typedef std::vector<boost::shared_ptr<Release>> releases_t;
    typedef std::vector<boost::shared_ptr<Addon>> addons_t;

    // The walk over the catalogue: every release with its builds, then every addon.
    class Visitor {
    public:
        virtual void visitRelease(boost::shared_ptr<Release> release) = 0;
        virtual void endRelease(boost::shared_ptr<Release> release);
        virtual void visitAddon(const Addon* addon) = 0;
        virtual void visitBuild(const Build* build) = 0;
        virtual ~Visitor();
    };

    // One product, addon or lazy addon of the catalogue index.
    struct entry_t {
        std::string id;
        std::string name;
        std::string reference;  // the product's or addon's file, relative to the source
        bool hidden_to_install = false;
        bool lazy = false;
        std::vector<std::string> incompatible_with;
    };

    // The product whose release is selected when nothing is installed.
    static const char* const DEFAULT_PRODUCT_ID;

    // `source_filename`: the file the installation source names, empty for a directory. Lets
    // SelfUpgrade::NeedSelfUpgrade pass when the catalogue requires another program version.
    BuildManager(FileFetcher& fetcher, const std::string& source_filename);
    BuildManager(const BuildManager&) = delete;
    BuildManager& operator=(const BuildManager&) = delete;

    // The promoted releases first, then the main list.
    void visit(Visitor& visitor) const;
    releases_t getReleases(bool with_promoted) const;
    const addons_t& getAddons() const { return addons; }
    void removeRelease(const boost::weak_ptr<Release>& release);

    boost::shared_ptr<Release> findRelease(const std::string& release_id) const;
    boost::shared_ptr<Product> findProduct(const std::string& product_id) const;
    // Compares as versions; an empty text throws.
    boost::shared_ptr<Release> findReleaseByVersion(const std::string& product_id, const std::string& version) const;
    std::string getLatestReleaseId(const std::string& product_id) const;
    std::string getCurrentReleaseId(const std::string& product_id) const;
    std::string getCurrentReleaseVersion(const std::string& product_id) const;
    std::string getInstalledVersion(const std::string& product_id) const;
    std::vector<std::string> getInstalledProductIds() const;
    std::string getSelectedReleaseId(const std::string& product_id) const;
    std::string getSelectedReleaseVersion(const std::string& product_id) const;
    std::vector<std::string> getSelectedReleaseIds() const;
    bool isProductSelected(const std::string& product_id) const;
    static std::vector<std::string> getCurrentReleaseNames(const releases_t& list);

    // An empty product id stands for every product.
    void selectRelease(const std::string& product_id, const std::string& release_id);
    void unselectProductReleases(const std::string& product_id);
    void unselectAllReleases();
    // Selects the latest release of the default product when no product is installed.
    void selectDefaultProductRelease();

    // The driver's filtering steps, in this order.
    void calculateReleasesState(Repository& repository);
    void checkNotSupportedUpgrades(const std::vector<std::string>& tags);
    void removeNotActualReleases();
    void removeHiddenForCleanInstall();
    // Keeps per product the first release of each requested tag, the current releases and those to
    // keep; offers releases of the promoted tags nobody took on the promoted list.
    void cropReleasesByTags(const std::vector<std::string>& tags, const std::vector<std::string>& keep);

    // Upgrade and operating-system warnings of checkNotSupportedUpgrades.
    const std::vector<std::string>& getWarnings() const { return warnings; }

private:
    void parseVendors(const tinybind::element& root, std::vector<entry_t>& products,
                      std::vector<entry_t>& addon_entries);
    void parseIncompatibleWith(const tinybind::element& product, entry_t& entry);
    void parseProduct(const entry_t& entry, const std::string& path);
    void parseReleases(const tinybind::element& root, const boost::shared_ptr<Product>& product,
                       const std::string& base);
    void parseRelease(const tinybind::element& element, const boost::shared_ptr<Product>& product,
                      const std::string& base);
    boost::shared_ptr<Build> parseBuild(const boost::shared_ptr<Release>& parent, const tinybind::element& element,
                                        const std::string& base);
    void parseBestWith(const tinybind::element& element, Release& release);
    Release::hide_policy_t parseHideTags(const std::string& value);
    void parseAddon(const entry_t& entry, const std::string& path);
    void parseSingleBuild(const std::string& path);

    releases_t releases;  // products in index order, each product's releases in file order
    releases_t promoted;  // filled by cropReleasesByTags
    addons_t addons;      // sorted by version; equal versions in reading order
    std::string current_file;
    std::vector<std::string> warnings;
};

#endif
