// The shutdown decision: cycles on a virtual time line, each row a short story.
#include <gtest/gtest.h>

#include "protection/follower.h"
#include "protection/shutdownpolicy.h"

namespace tornavel::service {
namespace {

constexpr int kOnLine = 0x08;
constexpr int kOnBattery = 0x10;
constexpr int kLow = 0x40;
constexpr int kCalibrating = 0x01;

// Signs of a step, besides its reading.
constexpr unsigned kMainsAlert = 1;      // the unit's "!"
constexpr unsigned kOurBatteryTest = 2;  // our "W" acknowledged
constexpr unsigned kOurSimulated = 4;    // our "U" acknowledged
constexpr unsigned kResumed = 8;         // the first reading after a lost link

// One step of a story: a cycle (with what it read) or, with `tick`, only time passing.
struct Step {
    double at;
    std::optional<int> status;
    std::optional<double> charge = std::nullopt;
    std::optional<double> runtime = std::nullopt;
    bool alert = false;
    bool tick = false;
    unsigned signs = 0;
};

struct Story {
    const char* name;
    std::vector<Step> steps;
    std::optional<double> decidedAt;  // time of the step that decides, if any
};

PolicyReading Reading(const Step& s)
{
    PolicyReading r;
    if (s.status) r.status = StatusFlags{*s.status};
    r.chargePercent = s.charge;
    r.runtimeSeconds = s.runtime;
    r.lowBatteryAlert = s.alert;
    r.signs.mainsFailureAlert = s.signs & kMainsAlert;
    r.signs.selfTestStarted = s.signs & kOurBatteryTest;
    r.signs.simulatedFailureStarted = s.signs & kOurSimulated;
    r.signs.linkResumed = s.signs & kResumed;
    return r;
}

ProtectLimits Limits()
{
    ProtectLimits limits;
    limits.onBatteryLongerSeconds = 600;
    return limits;
}

class PolicyStory : public ::testing::TestWithParam<Story> {};

TEST_P(PolicyStory, DecidesOnceAtTheRightStepOrNever)
{
    ShutdownPolicy policy(Limits());
    std::optional<double> decidedAt;
    int decisions = 0;
    for (const Step& s : GetParam().steps) {
        const auto reason = s.tick ? policy.Tick(s.at) : policy.Cycle(Reading(s), s.at);
        if (reason) {
            ++decisions;
            if (!decidedAt) decidedAt = s.at;
        }
    }
    EXPECT_EQ(decidedAt, GetParam().decidedAt);
    EXPECT_LE(decisions, 1);
}

const int B = kOnBattery;
INSTANTIATE_TEST_SUITE_P(
    Stories, PolicyStory,
    ::testing::Values(
        Story{"RuntimeBelowTwiceInARow", {{0, B, 90, 600}, {20, B, 80, 170}, {40, B, 70, 160}}, 40},
        Story{"OneShortRuntimeThenANormalOne", {{0, B, 90, 170}, {20, B, 80, 600}, {40, B, 70, 590}}, std::nullopt},
        Story{"ChargeBelowTwiceInARow", {{0, B, 4}, {2, B, 3}}, 2},
        Story{"OneOddChargeReading", {{0, B, 1}, {2, B, 95}, {4, B, 94}}, std::nullopt},
        Story{"LowChargeButOnLine", {{0, kOnLine, 1}, {2, kOnLine, 1}, {4, kOnLine, 1}}, std::nullopt},
        Story{"LowFlagTwiceInARow", {{0, B | kLow}, {2, B | kLow}}, 2},
        Story{"LowFlagOnceThenClear", {{0, B | kLow}, {2, B}, {4, B | kLow}}, std::nullopt},
        Story{"LowFlagWithTheUnitsAlertAtOnce", {{0, B, 50, std::nullopt, true}, {2, B | kLow}}, 2},
        Story{"AlertWithoutTheFlagIsNotEnough", {{0, B, 50, std::nullopt, true}, {2, B}, {4, B}}, std::nullopt},
        Story{"MainsBackResetsTheCount", {{0, B, 4}, {2, kOnLine, 4}, {4, B, 4}}, std::nullopt},
        Story{"UnreadableStatusChangesNothing", {{0, B, 4}, {2, std::nullopt, 4}, {4, B, 4}}, 4},
        Story{"OnLineAndOnBatteryAtOnceIsNoState", {{0, B | kOnLine, 1}, {2, B | kOnLine, 1}}, std::nullopt},
        Story{"OnBatteryLongerThanTheLimit", {{0, B}, {300, B}, {600, B}, {602, B}}, 602},
        Story{"LinkLostOnBattery", {{0, B, 80}, {10, {}, {}, {}, false, true}, {31, {}, {}, {}, false, true}}, 31},
        Story{"LinkLostOnLine", {{0, kOnLine, 80}, {100, {}, {}, {}, false, true}}, std::nullopt},
        Story{"StatusUnreadableForLongOnBattery",
              {{0, B, 80}, {10, std::nullopt, 80}, {29, {}, {}, {}, false, true}, {30, {}, {}, {}, false, true}},
              30},
        Story{"NothingAfterTheDecision", {{0, B, 1}, {2, B, 1}, {4, B, 1}, {40, {}, {}, {}, false, true}}, 2},
        // A calibration runs the battery down on purpose; a "!" during it is a real outage.
        Story{"CalibrationOnBatteryDecidesNothing",
              {{0, kOnLine},
               {2, B | kCalibrating, 3, 60, true},
               {4, B | kCalibrating | kLow, 2, 50},
               {700, B | kCalibrating | kLow, 1, 40},
               {702, kOnLine, 1, 40}},
              std::nullopt},
        Story{"MainsFailureDuringACalibration",
              {{0, kOnLine},
               {2, B | kCalibrating, 50, 100},
               {4, B | kCalibrating, 50, 90, false, false, kMainsAlert},
               {6, B | kCalibrating, 50, 80}},
              6},
        Story{"CalibrationSeenAtStartDecidesNothing",
              {{0, B | kCalibrating, 50, 60}, {2, B | kCalibrating, 50, 50}},
              std::nullopt},
        // A transfer without "!" is the unit's own self-test, for a while.
        Story{
            "SelfTestFromThePanel", {{0, kOnLine}, {2, B, 50, 100}, {4, B | kLow, 50, 90}, {6, kOnLine}}, std::nullopt},
        Story{"SelfTestOutlastingAnyTestIsAnOutage",
              {{0, kOnLine}, {2, B, 50, 100}, {20, B, 50, 100}, {31, B, 50, 100}, {32, B, 50, 100}, {34, B, 50, 100}},
              34},
        Story{"MainsFailureDuringASelfTest",
              {{0, kOnLine}, {2, B, 50, 100}, {4, B, 50, 100, false, false, kMainsAlert}, {6, B, 50, 100}},
              6},
        Story{"AnAlertReadWithTheLastStatusOnLine",
              {{0, kOnLine, {}, {}, false, false, kMainsAlert}, {2, B, 50, 100}, {4, B, 50, 100}},
              4},
        Story{"ATransferNotSeenIsNoSelfTest",
              {{0, kOnLine}, {2, B, 50, 100, false, false, kResumed}, {4, B, 50, 100}},
              4},
        Story{"ALinkLostDuringASelfTestCounts", {{0, kOnLine}, {2, B, 50, 100}, {32, {}, {}, {}, false, true}}, 32},
        Story{"OnBatteryLongerCountsASelfTestThatTurnsIntoAnOutage",
              {{0, kOnLine}, {2, B}, {4, B, {}, {}, false, false, kMainsAlert}, {601, B}, {602, B}, {604, B}},
              604},
        // Tests this monitor asked for.
        Story{"OurBatteryTest",
              {{0, kOnLine, {}, {}, false, false, kOurBatteryTest}, {2, B, 50, 100}, {4, B, 50, 90}, {6, kOnLine}},
              std::nullopt},
        Story{"OurSimulatedFailureWithItsOwnAlert",
              {{0, kOnLine, {}, {}, false, false, kOurSimulated},
               {2, B, 50, 100, false, false, kMainsAlert},
               {4, B, 50, 90},
               {6, kOnLine}},
              std::nullopt},
        Story{"ASecondAlertDuringOurSimulatedFailure",
              {{0, kOnLine, {}, {}, false, false, kOurSimulated},
               {2, B, 50, 100, false, false, kMainsAlert},
               {4, B, 50, 90, false, false, kMainsAlert},
               {6, B, 50, 90}},
              6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ShutdownPolicy, AFollowerFollowsItsPrimarysDecisionAtOnce)
{
    ShutdownPolicy policy(ProtectLimits{});
    PolicyReading reading;
    reading.primaryDecided = true;
    EXPECT_TRUE(policy.Cycle(reading, 0));
}

TEST(ShutdownPolicy, AResumedOutageCountsALostLinkFromTheRestart)
{
    ShutdownPolicy policy(Limits());
    policy.Resume({true, 50.0}, 1000);
    EXPECT_FALSE(policy.Tick(1029));
    EXPECT_TRUE(policy.Tick(1030));

    ShutdownPolicy onLine(Limits());
    onLine.Resume({false, std::nullopt}, 1000);
    EXPECT_FALSE(onLine.Tick(5000));
}

TEST(ShutdownPolicy, AResumedOutageKeepsItsTimeOnBattery)
{
    ShutdownPolicy policy(Limits());  // on battery for longer than 600 s counts
    policy.Resume({true, 0.0}, 590);
    PolicyReading reading;
    reading.status = StatusFlags{kOnBattery};
    EXPECT_FALSE(policy.Cycle(reading, 600));
    EXPECT_TRUE(policy.Cycle(reading, 602));
}

const char* kPrimary = R"(# HELP tornavel_ups_up x
tornavel_ups_up{port="COM1"} 1
tornavel_ups_up{port="COM2"} 1
tornavel_ups_last_good_reading_timestamp_seconds{port="COM1"} 1000.5
tornavel_ups_last_good_reading_timestamp_seconds{port="COM2"} 1000.5
tornavel_ups_status_byte{port="COM1"} 16
tornavel_ups_status_byte{port="COM2"} 8
tornavel_ups_battery_charge_ratio{port="COM1"} 0.04
tornavel_ups_runtime_seconds{port="COM1"} 120
tornavel_ups_shutdown_pending{port="COM2"} 0
)";

TEST(FollowedMetrics, TheNamedUnitsReadingsAreTaken)
{
    FollowMemory memory;
    const auto reading = ReadingFromMetrics(kPrimary, "COM1", memory);
    ASSERT_TRUE(reading);
    ASSERT_TRUE(reading->status);
    EXPECT_TRUE(reading->status->OnBattery());
    EXPECT_DOUBLE_EQ(*reading->chargePercent, 4);
    EXPECT_EQ(reading->runtimeSeconds, 120);
    EXPECT_FALSE(reading->primaryDecided);
    // The same cycle read again is no new reading.
    EXPECT_FALSE(ReadingFromMetrics(kPrimary, "COM1", memory));
}

TEST(FollowedMetrics, ARuntimeRepeatedByTheNextCycleIsNotCountedAgain)
{
    FollowMemory memory;
    ReadingFromMetrics(kPrimary, "COM1", memory);
    std::string later = kPrimary;
    later.replace(later.find("1000.5"), 6, "1002.9");
    const auto reading = ReadingFromMetrics(later, "COM1", memory);
    ASSERT_TRUE(reading);
    EXPECT_FALSE(reading->runtimeSeconds);
}

// One cycle of the primary's unit on battery, with its counters.
std::string PrimaryCycle(double lastGood, int mainsFailures, int linkLosses)
{
    return "tornavel_ups_up{port=\"COM1\"} 1\n"
           "tornavel_ups_last_good_reading_timestamp_seconds{port=\"COM1\"} " +
           std::to_string(lastGood) +
           "\n"
           "tornavel_ups_status_byte{port=\"COM1\"} 16\n"
           "tornavel_ups_alerts_total{port=\"COM1\",alert=\"mains_restored\"} 7\n"
           "tornavel_ups_alerts_total{port=\"COM1\",alert=\"mains_failure\"} " +
           std::to_string(mainsFailures) +
           "\n"
           "tornavel_ups_link_losses_total{port=\"COM1\"} " +
           std::to_string(linkLosses) + "\n";
}

TEST(FollowedMetrics, AStepBackOfThePrimarysWallClockIsStillANewCycle)
{
    FollowMemory memory;
    EXPECT_TRUE(ReadingFromMetrics(PrimaryCycle(1000, 0, 0), "COM1", memory));
    EXPECT_TRUE(ReadingFromMetrics(PrimaryCycle(1000 - 3600, 0, 0), "COM1", memory));
    EXPECT_FALSE(ReadingFromMetrics(PrimaryCycle(1000 - 3600, 0, 0), "COM1", memory));
}

TEST(FollowedMetrics, ThePrimarysCountersTellTheUnitsAlertAndALostLink)
{
    struct Read {
        double lastGood;
        int mainsFailures, linkLosses;
        bool alert, resumed;
    };
    FollowMemory memory;
    for (const Read& r : {Read{1, 0, 0, false, true},  // the first read tells nothing
                          Read{2, 0, 0, false, false}, Read{3, 1, 0, true, false}, Read{4, 1, 0, false, false},
                          Read{5, 1, 1, false, true},     // the primary lost its link meanwhile
                          Read{6, 0, 0, false, true}}) {  // the primary restarted
        const auto reading = ReadingFromMetrics(PrimaryCycle(r.lastGood, r.mainsFailures, r.linkLosses), "COM1",
                                                memory);
        ASSERT_TRUE(reading) << r.lastGood;
        EXPECT_EQ(reading->signs.mainsFailureAlert, r.alert) << r.lastGood;
        EXPECT_EQ(reading->signs.linkResumed, r.resumed) << r.lastGood;
    }
}

TEST(FollowedMetrics, AUnitIsFoundByItsNameAsWell)
{
    FollowMemory memory;
    std::string named = kPrimary;
    const std::string byPort = "port=\"COM1\"";
    for (std::size_t at; (at = named.find(byPort)) != std::string::npos;)
        named.replace(at, byPort.size(), "port=\"COM7\",unit=\"rack-3\"");
    const auto reading = ReadingFromMetrics(named, "rack-3", memory);
    ASSERT_TRUE(reading);
    EXPECT_DOUBLE_EQ(*reading->chargePercent, 4);
}

TEST(FollowedMetrics, OtherUnitsAndUnitsNotUpGiveNothing)
{
    FollowMemory memory;
    EXPECT_FALSE(ReadingFromMetrics(kPrimary, "COM3", memory));
    std::string down = kPrimary;
    down.replace(down.find("tornavel_ups_up{port=\"COM1\"} 1"), 30, "tornavel_ups_up{port=\"COM1\"} 0");
    EXPECT_FALSE(ReadingFromMetrics(down, "COM1", memory));
    EXPECT_FALSE(ReadingFromMetrics("garbage{port=\"COM1\" 1\n\n{}}", "COM1", memory));
}

TEST(FollowedMetrics, ThePrimarysDecisionIsTakenEvenWhenItsUnitIsSilent)
{
    FollowMemory memory;
    const auto reading = ReadingFromMetrics(
        "tornavel_ups_up{port=\"COM1\"} 0\ntornavel_ups_shutdown_pending{port=\"COM1\"} 1\n", "COM1", memory);
    ASSERT_TRUE(reading);
    EXPECT_TRUE(reading->primaryDecided);
}

}  // namespace
}  // namespace tornavel::service
