#include "common/Stopwatch.h"

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

TEST(StopwatchTest, CountsWholeSecondsSinceStart)
{
    // Begin right after a second starts, so that the first reading cannot cross into the next one.
    const time_t now = time(nullptr);
    while (time(nullptr) == now)
        usleep(1000);

    Stopwatch watch;
    watch.start();
    EXPECT_EQ(watch.start_time, watch.last_time);
    EXPECT_EQ(watch.elapsed(), 0);

    usleep(1200 * 1000);
    EXPECT_EQ(watch.elapsed(), 1);
    usleep(1200 * 1000);
    EXPECT_EQ(watch.elapsed(), 2);  // since start, not since the last reading
    EXPECT_EQ(watch.last_time - watch.start_time, 2);
}

}  // namespace
