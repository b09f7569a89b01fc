#include "installer/ProductsProgress.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "installer/Product.h"
#include "installer/Release.h"
#include "tests/support/LogFile.h"
#include "tests/support/thrown.h"

namespace {

typedef boost::shared_ptr<Release> release_t;

release_t makeRelease(const std::string& name)
{
    boost::shared_ptr<Product> product(new Product("zanth", "Zanth", false, {}, {}, {}, "", "", "", "", {}));
    return release_t(new Release(product, name, name, "", "1.0", "0.1"));
}

typedef std::vector<ProductsProgress::ReleaseProgress> result_t;

}  // namespace

TEST(ProductsProgressTest, FiguresPerRelease)
{
    const release_t first = makeRelease("first");
    const release_t second = makeRelease("second");
    struct Case {
        const char* name;
        std::vector<std::pair<int, int>> stages;  // (release 1 or 2, stage) per package
        bool started;
        int firstState, firstPercent, secondState, secondPercent;
    };
    const Case cases[] = {
        {"waiting and in progress", {{1, 0}, {1, 0}, {2, 1}, {2, 0}, {2, 0}, {2, 0}}, false, 0, 0, 2, 8},
        {"started", {{1, 0}, {1, 0}, {2, 1}, {2, 0}, {2, 0}, {2, 0}}, true, 1, 0, 2, 8},
        {"failed first, then installed", {{1, -10000}, {1, 3}, {2, 3}, {2, 3}}, false, -10000, 50, 2, 100},
        {"failed last", {{1, 3}, {1, -10000}, {2, 1}}, false, -10000, 50, 2, 33},
    };
    for (const Case& t : cases) {
        SCOPED_TRACE(t.name);
        ProductsProgress progress;
        int n = 0;
        for (const auto& s : t.stages) {
            const std::string name = "pkg" + std::to_string(n++);
            progress.add_product_package(s.first == 1 ? first : second, name);
            progress.set_progress(s.second, name);
        }
        if (t.started)
            progress.start();
        result_t result;
        progress.get_progress(result);
        ASSERT_EQ(result.size(), 2u);
        const auto& a = result[0].release == first ? result[0] : result[1];
        const auto& b = result[0].release == first ? result[1] : result[0];
        EXPECT_EQ(std::make_pair(a.state, a.percent), std::make_pair(t.firstState, t.firstPercent));
        EXPECT_EQ(std::make_pair(b.state, b.percent), std::make_pair(t.secondState, t.secondPercent));
    }
}

TEST(ProductsProgressTest, RegistrationUpdatesAndEmptyTables)
{
    const release_t first = makeRelease("first");
    const release_t second = makeRelease("second");
    ProductsProgress progress;
    EXPECT_EQ(ProductsProgress::instance(), &progress);
    LogFile log;

    // No data: the vector stays as it was.
    result_t result{{first, 7, 42}};
    progress.get_progress(result);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0].percent, 42);
    EXPECT_TRUE(log.has("ProductsProgress::get_progress: no data for now"));

    progress.add_product_package(first, "a");
    progress.set_progress(1, "a");
    progress.set_progress(3, "unknown");  // ignored
    // Registered again, for another release: one entry, back at stage 0.
    progress.add_product_package(second, "a");
    progress.add_product_package(second, "b");
    progress.set_progress(3, "b");
    EXPECT_TRUE(log.has("ProductsProgress::add_product_package: 'second': a"));
    EXPECT_TRUE(log.has("ProductsProgress::set_progress: b stage 3"));

    // Elements of the caller's vector are updated in place; the stale one for `first` stays.
    progress.get_progress(result);
    progress.get_progress(result);
    ASSERT_EQ(result.size(), 2u);
    EXPECT_EQ(result[0].release, first);
    EXPECT_EQ(result[0].percent, 42);
    EXPECT_EQ(result[1].release, second);
    EXPECT_EQ(std::make_pair(result[1].state, result[1].percent), std::make_pair(2, 50));

    // A stage beyond the units of work is capped.
    progress.set_progress(9, "a");
    progress.get_progress(result);
    EXPECT_EQ(result[1].percent, 100);
    EXPECT_TRUE(log.has("DEBUG: ProductsProgress::get_progress(): percents too big- 200, strip to 100"));

    // Every package failed: no release has done work to share, an internal error.
    progress.set_progress(-10000, "a");
    progress.set_progress(-10000, "b");
    EXPECT_EQ(codes(caught([&] { progress.get_progress(result); })), std::make_tuple(3, 1, 1, 3));
}

TEST(ProductsProgressTest, InstanceOfNoneOneAndTwo)
{
    EXPECT_EQ(ProductsProgress::instance(), nullptr);
    ProductsProgress one;
    EXPECT_EQ(ProductsProgress::instance(), &one);
    {
        ProductsProgress two;
        EXPECT_EQ(codes(caught([] { ProductsProgress::instance(); })), std::make_tuple(3, 1, 1, 3));
    }
    EXPECT_EQ(ProductsProgress::instance(), &one);
}

// The installing thread writes while another reads, as the web interface does; meant to be run under
// ThreadSanitizer too.
TEST(ProductsProgressTest, ReaderThreadWhileTheInstallationWrites)
{
    const release_t release = makeRelease("threaded");
    std::atomic<bool> done(false);
    std::thread reader([&] {
        result_t result;
        while (!done) {
            if (ProductsProgress* progress = ProductsProgress::instance())
                progress->get_progress(result);
        }
    });
    {
        ProductsProgress progress;
        for (int i = 0; i < 200; ++i)
            progress.add_product_package(release, "p" + std::to_string(i));
        progress.start();
        for (int i = 0; i < 200; ++i)
            progress.set_progress(1, "p" + std::to_string(i));
        result_t result;
        progress.get_progress(result);
        ASSERT_EQ(result.size(), 1u);
        EXPECT_EQ(std::make_pair(result[0].state, result[0].percent), std::make_pair(2, 33));
        done = true;
        reader.join();
    }
}
