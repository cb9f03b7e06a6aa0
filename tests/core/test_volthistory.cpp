// The voltage history the graph draws: its length, its scrolling, and an
// unanswered read told from 0 V.
#include <gtest/gtest.h>

#include "monitor/volthistory.h"

namespace tornavel {
namespace {

TEST(VoltHistory, FillsThenScrollsKeepingTheNewest)
{
    VoltHistory history;
    EXPECT_EQ(history.voltCount(), 0);
    for (int i = 0; i < 130; ++i) history.SetVolt(std::to_string(100 + i) + ".5", std::to_string(i));
    EXPECT_EQ(history.voltCount(), 130);
    history.SetVolt("231.0", "x");  // the 131st reading drops the first
    const auto readings = history.Readings();
    ASSERT_EQ(readings.size(), 130u);
    EXPECT_EQ(readings.front().input, 101);
    EXPECT_EQ(readings.back().input, 231);
    EXPECT_EQ(readings.back().output, 0);
    history.ResetVoltGraph();
    EXPECT_TRUE(history.Readings().empty());
}

TEST(VoltHistory, AnUnansweredReadIsNoReadingWhileZeroVoltsIsOne)
{
    VoltHistory history;
    history.SetVolt("", "228.1");
    history.SetVolt("000.0", "");
    const auto readings = history.Readings();
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].input, -1);
    EXPECT_EQ(readings[0].output, 228);
    EXPECT_EQ(readings[1].input, 0);  // on battery: the mains really reads 0 V
    EXPECT_EQ(readings[1].output, -1);
}

}  // namespace
}  // namespace tornavel
