// The watchdog is fed only while every unit's thread has beaten recently.
#include <gtest/gtest.h>

#include "app/systemdnotify.h"

namespace tornavel::service {
namespace {

struct Beats {
    std::vector<std::int64_t> beatsMs;
    bool fed;
};

class WatchdogFeed : public ::testing::TestWithParam<Beats> {};

TEST_P(WatchdogFeed, OnlyWhileEveryThreadIsAlive)
{
    // now 100000 ms, limit 30000 ms
    EXPECT_EQ(EveryThreadAlive(GetParam().beatsMs, 100000, 30000), GetParam().fed);
}

INSTANTIATE_TEST_SUITE_P(Watchdog, WatchdogFeed,
                         ::testing::Values(Beats{{}, true}, Beats{{99000, 95000}, true}, Beats{{70001}, true},
                                           Beats{{70000}, false}, Beats{{99000, 60000, 99500}, false},
                                           Beats{{10000, 99000}, false}));

}  // namespace
}  // namespace tornavel::service
