// A follower reads its primary's series by the names the exporter writes
// them with: what one monitor publishes, another reads back as the same
// reading. A series renamed on one side only leaves the follower blind to it.
#include <gtest/gtest.h>

#include "protection/follower.h"
#include "publish/metricstext.h"
#include "readings/readingtable.h"

namespace tornavel::service {
namespace {

struct Published {
    const char* status;
    const char* charge;
    const char* runtime;
};

class FollowerReadsTheExporter : public ::testing::TestWithParam<Published> {};

TEST_P(FollowerReadsTheExporter, EveryValueThePolicyUses)
{
    UnitSnapshot unit;
    unit.port = "COM1";
    unit.unit = "rack-3";
    unit.up = true;
    unit.identified = true;
    unit.lastGoodSeconds = 1700000000.5;
    unit.slots[kSlotStatus] = GetParam().status;
    unit.slots[kSlotCharge] = GetParam().charge;
    unit.slots[kSlotRuntime] = GetParam().runtime;
    unit.shutdownPending = false;
    const std::string text = RenderMetrics({unit});

    for (const char* followed : {"COM1", "rack-3"}) {
        FollowMemory memory;
        const auto reading = ReadingFromMetrics(text, followed, memory);
        ASSERT_TRUE(reading) << text;
        ASSERT_TRUE(reading->status) << text;
        EXPECT_EQ(reading->status->bits, ParseStatus(GetParam().status)->bits);
        ASSERT_TRUE(reading->chargePercent) << text;
        EXPECT_DOUBLE_EQ(*reading->chargePercent, *ReadingValue(ReadingOf(kSlotCharge), GetParam().charge));
        ASSERT_TRUE(reading->runtimeSeconds) << text;
        EXPECT_EQ(*reading->runtimeSeconds, *ReadingValue(ReadingOf(kSlotRuntime), GetParam().runtime));
        EXPECT_FALSE(reading->primaryDecided);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, FollowerReadsTheExporter,
                         ::testing::Values(Published{"08", "100.0", "0042:"}, Published{"50", "004.0", "0002:"},
                                           Published{"10", "023.4", "0000"}));

TEST(FollowerReadsTheExporter, ThePrimarysDecision)
{
    UnitSnapshot unit;
    unit.port = "COM1";
    unit.shutdownPending = true;  // decided, though its unit is silent
    FollowMemory memory;
    const auto reading = ReadingFromMetrics(RenderMetrics({unit}), "COM1", memory);
    ASSERT_TRUE(reading);
    EXPECT_TRUE(reading->primaryDecided);
}

TEST(FollowerReadsTheExporter, OnlyANewAnsweredCycle)
{
    UnitSnapshot unit;
    unit.port = "COM1";
    unit.up = true;
    unit.lastGoodSeconds = 1000;
    unit.slots[kSlotStatus] = "10";
    FollowMemory memory;
    EXPECT_TRUE(ReadingFromMetrics(RenderMetrics({unit}), "COM1", memory));
    EXPECT_FALSE(ReadingFromMetrics(RenderMetrics({unit}), "COM1", memory));
    unit.up = false;
    unit.lastGoodSeconds = 1002;
    EXPECT_FALSE(ReadingFromMetrics(RenderMetrics({unit}), "COM1", memory));
}

}  // namespace
}  // namespace tornavel::service
