#include "installer/ProductsProgress.h"

#include <mutex>
#include <set>

#include "common/Log.h"
#include "common/error.h"
#include "installer/Release.h"

namespace {

std::mutex& progressMutex()
{
    static std::mutex mutex;
    return mutex;
}

// The live objects; read and written under progressMutex().
std::set<ProductsProgress*>& liveObjects()
{
    static std::set<ProductsProgress*> objects;
    return objects;
}

}  // namespace

ProductsProgress::ProductsProgress() : started(false)
{
    {
        std::lock_guard<std::mutex> lock(progressMutex());
        liveObjects().insert(this);
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "ProductsProgress::ProductsProgress(): _instance=" << this;
}

ProductsProgress::~ProductsProgress()
{
    bool known;
    {
        std::lock_guard<std::mutex> lock(progressMutex());
        known = liveObjects().erase(this) == 1;
    }
    Log::stream(Log::LEVEL_DEBUG, true) << "ProductsProgress::~ProductsProgress(): this=" << this;
    if (!known)
        Log::stream(Log::LEVEL_ERROR, true) << KW_INTERNAL_ERROR().getText();
}

ProductsProgress* ProductsProgress::instance()
{
    std::lock_guard<std::mutex> lock(progressMutex());
    const std::set<ProductsProgress*>& objects = liveObjects();
    if (objects.empty())
        return nullptr;
    if (objects.size() > 1)
        throw KW_INTERNAL_ERROR();
    return *objects.begin();
}

void ProductsProgress::start()
{
    std::lock_guard<std::mutex> lock(progressMutex());
    started = true;
}

void ProductsProgress::set_progress(int stage, const std::string& package)
{
    Log::stream(Log::LEVEL_DEBUG, true) << "ProductsProgress::set_progress: " << package << " stage " << stage;
    std::lock_guard<std::mutex> lock(progressMutex());
    auto product = productPackages.find(package);
    if (product != productPackages.end())
        product->second.stage = stage;
    auto common = commonPackages.find(package);
    if (common != commonPackages.end())
        common->second = stage;
}

void ProductsProgress::add_product_package(const boost::shared_ptr<Release>& release, const std::string& package)
{
    if (!release)
        throw KW_INTERNAL_ERROR();
    Log::stream(Log::LEVEL_DEBUG, true) << "ProductsProgress::add_product_package: '" << release->get_name()
                                        << "': " << package;
    std::lock_guard<std::mutex> lock(progressMutex());
    productPackages[package] = ProductPackage{release, STAGE_REGISTERED};
}

void ProductsProgress::get_progress(std::vector<ReleaseProgress>& result)
{
    std::unique_lock<std::mutex> lock(progressMutex());
    typedef std::map<boost::shared_ptr<Release>, int> per_release_t;
    std::map<boost::shared_ptr<Release>, bool> failed;
    per_release_t total;
    per_release_t done;
    for (const auto& entry : productPackages) {
        const boost::shared_ptr<Release>& release = entry.second.release;
        failed.emplace(release, false);
        total[release] += 3;
        if (entry.second.stage == STAGE_FAILED)
            failed[release] = true;
        else
            done[release] += entry.second.stage;
    }
    if (failed.empty()) {
        lock.unlock();
        Log::stream(Log::LEVEL_DEBUG, true) << "ProductsProgress::get_progress: no data for now";
        return;
    }
    if (total.empty())
        throw KW_INTERNAL_ERROR();
    // Every package of every release failed.
    if (done.empty())
        throw KW_INTERNAL_ERROR();

    int commonTotal = 3 * static_cast<int>(commonPackages.size());
    int commonDone = 0;
    for (const auto& entry : commonPackages)
        if (entry.second != STAGE_FAILED)
            commonDone += entry.second;
    for (auto& entry : total)
        entry.second += commonTotal / static_cast<int>(total.size());
    for (auto& entry : done)
        entry.second += commonDone / static_cast<int>(done.size());

    std::vector<int> capped;
    for (const auto& entry : failed) {
        const boost::shared_ptr<Release>& release = entry.first;
        ReleaseProgress* element = nullptr;
        for (ReleaseProgress& candidate : result)
            if (candidate.release == release)
                element = &candidate;
        if (!element) {
            result.push_back(ReleaseProgress{release, STATE_WAITING, 0});
            element = &result.back();
        }
        const int releaseDone = done[release];
        if (entry.second)
            element->state = STATE_FAILED;
        else if (releaseDone == 0)
            element->state = started ? STATE_STARTED : STATE_WAITING;
        else
            element->state = STATE_IN_PROGRESS;
        element->percent = releaseDone * 100 / total[release];
        if (element->percent > 100) {
            capped.push_back(element->percent);
            element->percent = 100;
        }
    }
    lock.unlock();
    for (int percent : capped)
        Log::stream(Log::LEVEL_DEBUG, true)
            << "DEBUG: ProductsProgress::get_progress(): percents too big- " << percent << ", strip to 100";
}
