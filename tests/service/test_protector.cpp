// Host protection for a host's units on the virtual clock: the wall clock
// stepping is no time passing, a restart during an outage remembers it, and
// a host fed by several units goes down only when too few can still feed it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "fakes.h"
#include "log_lines.h"
#include "protection/hostshutdown.h"
#include "protection/protector.h"
#include "system/test_files.h"

namespace tornavel::service {
namespace {

using tornavel::testing::Count;
using tornavel::testing::FakeClock;
using tornavel::testing::ReadFile;
using tornavel::testing::TempDir;

constexpr int kOnLine = 0x08;
constexpr int kOnBattery = 0x10;
const char* kBoot = "this-boot";

PolicyReading Reading(int status, double runtime = 3600)
{
    PolicyReading reading;
    reading.status = StatusFlags{status};
    reading.chargePercent = 90;
    reading.runtimeSeconds = runtime;
    return reading;
}

// One host with its units' protectors, its log and the virtual clock.
struct Host {
    explicit Host(std::vector<std::string> ports, std::optional<int> needed = std::nullopt, std::string bootId = kBoot)
    {
        options.stateDir = dir.path().string();
        options.needed = needed;
        Start(std::move(ports), std::move(bootId));
    }
    // The service (re)starts: the protectors and the host's decision anew.
    void Start(std::vector<std::string> ports, std::string bootId = kBoot)
    {
        protectors.clear();
        host = std::make_unique<HostShutdown>(options, static_cast<int>(ports.size()), bootId, log);
        for (const auto& port : ports)
            protectors.push_back(
                std::make_unique<Protector>(port, "/dev/" + port, options, *host, log, clock,
                                            OutageState(options.stateDir + "/outage-" + FileNameOf(port), bootId)));
    }
    std::string Lines()
    {
        std::string text;
        for (const auto& line : LogLines(file)) text += line;
        return text;
    }
    // Every second of virtual time up to `seconds` more, as the monitor's ticker.
    void TickFor(int seconds)
    {
        for (int s = 0; s < seconds; ++s) {
            clock.Advance(1000);
            for (auto& p : protectors) p->Tick();
        }
    }

    TempDir dir;
    FakeClock clock;
    std::FILE* file = std::tmpfile();
    EventLog log{file, nullptr};
    ProtectOptions options;
    std::unique_ptr<HostShutdown> host;
    std::vector<std::unique_ptr<Protector>> protectors;
};

TEST(Protector, AStepOfTheWallClockDecidesNothing)
{
    Host host({"COM1"});
    Protector& unit = *host.protectors[0];
    unit.Cycle(Reading(kOnLine));
    host.clock.Advance(2000);
    unit.Cycle(Reading(kOnBattery));
    for (const std::int64_t step : {3600'000LL, -7200'000LL}) {
        host.clock.StepWall(step);  // date -s '+1 hour', then two hours back
        host.TickFor(2);
        unit.Cycle(Reading(kOnBattery));
    }
    EXPECT_FALSE(host.host->Decided()) << host.Lines();
    // The ticks do count real time: the unit falls silent on battery.
    host.TickFor(29);
    EXPECT_FALSE(host.host->Decided());
    host.TickFor(1);
    EXPECT_TRUE(host.host->Pending()) << host.Lines();
    EXPECT_EQ(Count(host.Lines(), "COM1 shutdown shutting this host down: no valid reading for 30 s"), 1u)
        << host.Lines();
}

TEST(Protector, ARestartDuringAnOutageWithTheUnitSilentDecidesAfterTheLinkLostTime)
{
    Host host({"COM1"});
    host.protectors[0]->Cycle(Reading(kOnLine));
    host.clock.Advance(2000);
    host.protectors[0]->Cycle(Reading(kOnBattery));
    host.clock.Advance(5000);
    host.Start({"COM1"});  // the service restarts; the unit stays silent
    EXPECT_NE(host.Lines().find("COM1 outage_resumed"), std::string::npos) << host.Lines();
    host.TickFor(29);
    EXPECT_FALSE(host.host->Decided()) << host.Lines();
    host.TickFor(1);
    EXPECT_TRUE(host.host->Pending()) << host.Lines();
}

TEST(Protector, AnOutageOfAnotherBootOrOneThatEndedIsNotResumed)
{
    Host host({"COM1"});
    host.protectors[0]->Cycle(Reading(kOnBattery));
    const std::string saved = host.options.stateDir + "/outage-COM1";
    EXPECT_NE(ReadFile(saved).find("on_battery=1"), std::string::npos);
    host.Start({"COM1"}, "another-boot");
    EXPECT_FALSE(std::filesystem::exists(saved));
    host.TickFor(120);
    EXPECT_FALSE(host.host->Decided()) << host.Lines();

    host.Start({"COM1"});
    host.protectors[0]->Cycle(Reading(kOnBattery));
    host.protectors[0]->Cycle(Reading(kOnLine));  // the mains are back: nothing left to resume
    EXPECT_FALSE(std::filesystem::exists(saved));
    host.Start({"COM1"});
    host.TickFor(120);
    EXPECT_FALSE(host.host->Decided()) << host.Lines();
}

// Two units, one reading each second; `lows` says which report a short runtime.
void Cycle(Host& host, bool firstLow, bool secondLow, int times = 2)
{
    for (int i = 0; i < times; ++i) {
        host.clock.Advance(1000);
        host.protectors[0]->Cycle(Reading(kOnBattery, firstLow ? 60 : 3600));
        host.protectors[1]->Cycle(Reading(kOnBattery, secondLow ? 60 : 3600));
    }
}

TEST(HostShutdown, WithTwoUnitsByDefaultTheFirstUnitLostDecides)
{
    Host host({"COM1", "COM2"});
    Cycle(host, false, true);
    EXPECT_TRUE(host.host->Pending());
    EXPECT_EQ(Count(host.Lines(),
                    "COM2 shutdown shutting this host down: runtime 60 s below 180 s; "
                    "1 of 2 protected units left, 2 needed"),
              1u)
        << host.Lines();
    EXPECT_NE(ReadFile(host.options.stateDir + "/shutdown").find("device=/dev/COM2\n"), std::string::npos);
}

TEST(HostShutdown, OneUnitNeededOfTwoStaysUpUntilBothAreLost)
{
    Host host({"COM1", "COM2"}, 1);
    Cycle(host, true, false);
    EXPECT_FALSE(host.host->Decided());
    EXPECT_EQ(
        Count(host.Lines(), "COM1 protected_unit_lost .*1 of 2 protected units left, 1 needed: this host stays up"), 1u)
        << host.Lines();
    // The first is back on line and the second runs low: one can still feed the host.
    host.protectors[0]->Cycle(Reading(kOnLine));
    EXPECT_EQ(Count(host.Lines(), "COM1 protected_unit_back"), 1u) << host.Lines();
    for (int i = 0; i < 2; ++i) {
        host.clock.Advance(1000);
        host.protectors[1]->Cycle(Reading(kOnBattery, 60));
    }
    EXPECT_FALSE(host.host->Decided()) << host.Lines();
    // Then the mains of the first fail again (its "!" with it): none is left.
    for (int i = 0; i < 2; ++i) {
        host.clock.Advance(1000);
        PolicyReading reading = Reading(kOnBattery, 60);
        reading.signs.mainsFailureAlert = i == 0;
        host.protectors[0]->Cycle(reading);
    }
    EXPECT_TRUE(host.host->Pending());
    EXPECT_EQ(Count(host.Lines(), "COM1 shutdown shutting this host down: .*0 of 2 protected units left, 1 needed"), 1u)
        << host.Lines();
}

TEST(HostShutdown, ADecisionOfThisBootIsKeptAcrossARestartAndNotTakenTwice)
{
    Host host({"COM1"});
    for (int i = 0; i < 2; ++i) host.protectors[0]->Cycle(Reading(kOnBattery, 60));
    ASSERT_TRUE(host.host->Pending());
    host.Start({"COM1"});
    EXPECT_TRUE(host.host->Pending());
    for (int i = 0; i < 3; ++i) host.protectors[0]->Cycle(Reading(kOnBattery, 60));
    EXPECT_EQ(Count(host.Lines(), "COM1 shutdown "), 1u) << host.Lines();
    host.Start({"COM1"}, "the-next-boot");
    EXPECT_FALSE(host.host->Pending());
    EXPECT_FALSE(std::filesystem::exists(host.options.stateDir + "/shutdown"));
}

// A cancel holds the unit that decided until it is back on mains, whether
// the service restarted before the cancel, after it, or not at all.
TEST(HostShutdown, ACancelHoldsItsUnitUntilMainsAcrossRestarts)
{
    struct Case {
        const char* name;
        bool restartBefore;
        bool restartAfter;
    };
    for (const Case& c : {Case{"no restart", false, false}, Case{"restart before the cancel", true, false},
                          Case{"restart after the cancel", false, true}}) {
        SCOPED_TRACE(c.name);
        Host host({"COM1"});
        for (int i = 0; i < 2; ++i) host.protectors[0]->Cycle(Reading(kOnBattery, 60));
        ASSERT_TRUE(host.host->Pending());
        if (c.restartBefore) host.Start({"COM1"});
        EXPECT_EQ(host.host->Cancel().outcome, HostShutdown::Cancelled::Outcome::Withdrawn);
        if (c.restartAfter) host.Start({"COM1"});
        for (int i = 0; i < 3; ++i) {
            host.clock.Advance(1000);
            host.protectors[0]->Cycle(Reading(kOnBattery, 60));
        }
        host.TickFor(60);
        EXPECT_FALSE(host.host->Pending()) << host.Lines();
        EXPECT_EQ(Count(host.Lines(), "COM1 shutdown "), 1u) << host.Lines();
        // Back on mains, then a new outage (its "!" with it) decides again.
        host.protectors[0]->Cycle(Reading(kOnLine));
        EXPECT_EQ(Count(host.Lines(), "COM1 protection_resumed"), 1u) << host.Lines();
        for (int i = 0; i < 2; ++i) {
            host.clock.Advance(1000);
            PolicyReading reading = Reading(kOnBattery, 60);
            reading.signs.mainsFailureAlert = i == 0;
            host.protectors[0]->Cycle(reading);
        }
        EXPECT_TRUE(host.host->Pending()) << host.Lines();
    }
}

}  // namespace
}  // namespace tornavel::service
