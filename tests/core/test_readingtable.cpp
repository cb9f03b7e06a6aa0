// The readings table: one entry for each value the unit gives, agreeing with
// the record's slots and commands, and each answer read in its own unit.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "protocol/devicetable.h"
#include "readings/readingtable.h"

namespace tornavel {
namespace {

TEST(ReadingTable, EverySlotWithACommandHasOneReadingWithIt)
{
    std::set<int> slots;
    for (const Reading& reading : Readings()) {
        EXPECT_TRUE(slots.insert(reading.slot).second) << reading.name;
        EXPECT_EQ(*reading.command, SlotCommand(reading.slot)) << reading.name;
        EXPECT_EQ(ReadingAt(reading.slot), &reading);
        EXPECT_EQ(&ReadingOf(reading.slot), &reading);
        EXPECT_EQ(FindReading(reading.name), &reading);
    }
    for (int slot = 0; slot <= kSlotCount; ++slot)
        EXPECT_EQ(slots.count(slot) == 1, !SlotCommand(slot).empty()) << "slot " << slot;
    EXPECT_EQ(ReadingAt(kSlotLastMessage), nullptr);
    EXPECT_EQ(ReadingAt(0), nullptr);
}

// The window reads only the full read; what comes after it is the monitor's
// and tornavelctl's, and the table lists the full read first, in its order.
TEST(ReadingTable, OnlyTheSlotsAfterTheFullReadAreReadAfterIt)
{
    int previous = 0;
    for (const Reading& reading : Readings()) {
        EXPECT_GT(reading.slot, previous) << reading.name;
        previous = reading.slot;
        EXPECT_EQ(reading.refresh == Refresh::AfterFullRead, reading.slot >= kFirstPowerReturnSlot) << reading.name;
    }
}

TEST(ReadingTable, NamesOfEachKindAreUnique)
{
    std::set<std::string> names, metrics, labels, variables;
    for (const Reading& reading : Readings()) {
        EXPECT_TRUE(names.insert(std::string(reading.name)).second) << reading.name;
        if (!reading.metric.empty()) {
            EXPECT_TRUE(metrics.insert(std::string(reading.metric)).second) << reading.metric;
            // A gauge has a number to publish; a text is published in its own series' label.
            EXPECT_TRUE(reading.parse != ParseRule::Text || !reading.label.empty()) << reading.name;
        }
        if (!reading.label.empty()) {
            EXPECT_TRUE(labels.insert(std::string(reading.label)).second) << reading.label;
        }
        if (!reading.rfc9271.name.empty()) {
            EXPECT_TRUE(variables.insert(std::string(reading.rfc9271.name)).second) << reading.rfc9271.name;
        }
    }
}

struct Answer {
    Slot slot;
    const char* answer;
    std::optional<double> value;
    std::optional<double> metric;
};

class ReadingOfAnAnswer : public ::testing::TestWithParam<Answer> {};

TEST_P(ReadingOfAnAnswer, IsInTheReadingsUnit)
{
    const Reading& reading = ReadingOf(GetParam().slot);
    EXPECT_EQ(ReadingValue(reading, GetParam().answer), GetParam().value) << reading.name;
    EXPECT_EQ(MetricValue(reading, GetParam().answer), GetParam().metric) << reading.name;
    if (GetParam().metric) {
        EXPECT_DOUBLE_EQ(FromMetric(reading, *GetParam().metric), *GetParam().value);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Readings, ReadingOfAnAnswer,
    ::testing::Values(Answer{kSlotLoad, "023.4", 23.4, 0.234}, Answer{kSlotCharge, "100.0", 100, 1},
                      Answer{kSlotRuntime, "0042:", 2520, 2520}, Answer{kSlotRuntime, "42:x", {}, {}},
                      Answer{kSlotSelfTestInterval, "336", 1209600, 1209600},
                      Answer{kSlotSelfTestInterval, "OFF", {}, {}}, Answer{kSlotLineQuality, "FF", 255, 255},
                      Answer{kSlotRegister0, "a0", 160, 160},
                      Answer{kSlotBatteryDate, "14/06/11", 1308009600, 1308009600},
                      Answer{kSlotMadeDate, "00/00/00", {}, {}}, Answer{kSlotInputVolts, "229.3", 229.3, 229.3},
                      Answer{kSlotInputVolts, "", {}, {}}, Answer{kSlotInputVolts, "NA", {}, {}},
                      Answer{kSlotModel, "Smart-UPS 1000", {}, {}}, Answer{kSlotStatus, "08", 8, 8},
                      Answer{kSlotGraceDelay, "020", 20, 20}, Answer{kSlotWakeupDelay, "000", 0, 0},
                      Answer{kSlotLowBatteryWarning, "02", 120, 120}, Answer{kSlotReturnCharge, "01", {}, {}},
                      Answer{kSlotSelfTestResult, "OK", {}, {}}));

TEST(ReadingTable, StatusBitsAreTheEightBitsInOrder)
{
    int bit = 0;
    for (const StatusBit& flag : StatusBits()) EXPECT_EQ(flag.bit, bit++);
    EXPECT_EQ(bit, 8);
}

}  // namespace
}  // namespace tornavel
