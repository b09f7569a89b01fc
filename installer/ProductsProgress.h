#ifndef KW_INSTALLER_PRODUCTSPROGRESS_H
#define KW_INSTALLER_PRODUCTSPROGRESS_H

#include <map>
#include <string>
#include <vector>

#include <boost/shared_ptr.hpp>

#include "common/PackagesProgress.h"

class Release;

// The progress of an installation per release, from the stages of the packages that each release
// brings. The installing thread writes while the web interface's thread reads: one process-wide
// mutex guards the set of live objects and the tables of every object.
class ProductsProgress : public PackagesProgress {
public:
    // Package stages: units of work done out of 3.
    static constexpr int STAGE_REGISTERED = 0;
    static constexpr int STAGE_DOWNLOADED = 1;
    static constexpr int STAGE_INSTALLED = 3;
    static constexpr int STAGE_FAILED = -10000;

    // Release states, as the web interface names them.
    static constexpr int STATE_WAITING = 0;
    static constexpr int STATE_STARTED = 1;
    static constexpr int STATE_IN_PROGRESS = 2;
    static constexpr int STATE_COMPLETED = 3;  // given by the web interface itself
    static constexpr int STATE_FAILED = -10000;

    struct ReleaseProgress {
        boost::shared_ptr<Release> release;
        int state;
        int percent;  // 0 to 100
    };

    ProductsProgress();
    ~ProductsProgress() override;
    ProductsProgress(const ProductsProgress&) = delete;
    ProductsProgress& operator=(const ProductsProgress&) = delete;

    // Null when no object lives, the object when one does; two are an internal error.
    static ProductsProgress* instance();

    void start() override;
    // Unknown packages are ignored.
    void set_progress(int stage, const std::string& package) override;
    // Registers (again) a package that the release brings, at stage 0. The release must not be null.
    void add_product_package(const boost::shared_ptr<Release>& release, const std::string& package);
    // Updates the caller's elements in place and appends the releases not in it yet; leaves it as it
    // is while no package is registered.
    void get_progress(std::vector<ReleaseProgress>& result);

private:
    struct ProductPackage {
        boost::shared_ptr<Release> release;
        int stage;
    };

    bool started;
    std::map<std::string, ProductPackage> productPackages;
    std::map<std::string, int> commonPackages;  // packages of no release; nothing fills it yet
};

#endif
