// What tornavel-monitor publishes is always a reading of its own command:
// a unit that answers late never has one command's answer published as
// another's, and a unit whose device went away has no readings published at
// all. The real monitor against the simulator; loopback only, every wait
// bounded.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <sstream>

#include "monitor_process.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::MonitorProcess;
using testing::UpssimProcess;

// A full read of a slow unit is thirty exchanges of up to a second; room for
// a loaded machine. A bound, not a measured time.
constexpr int kConnectMs = 60000;

std::size_t Count(const std::string& text, const std::string& what)
{
    std::size_t count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
    return count;
}

// The unit's series of one port: name and labels other than the port -> value.
std::map<std::string, std::string> UnitSeries(const std::string& metrics, const std::string& port)
{
    // Series that count or time what the monitor saw rather than read a value.
    static const std::regex notAReading(
        "^tornavel_ups_(up|last_good_reading_timestamp_seconds|alerts_total|link_losses_total|"
        "last_transfer_to_battery_timestamp_seconds|on_battery_seconds)\\{");
    std::map<std::string, std::string> series;
    const std::string label = "port=\"" + port + "\"";
    std::istringstream lines(metrics);
    for (std::string line; std::getline(lines, line);) {
        const auto at = line.find(label);
        if (line.rfind("tornavel_ups_", 0) != 0 || at == std::string::npos || std::regex_search(line, notAReading))
            continue;
        const auto space = line.rfind(' ');
        std::string key = line.substr(0, space);
        key.erase(key.find(label), label.size());
        series[key] = line.substr(space + 1);
    }
    return series;
}

// Checks every series of `port` against the prompt unit's, until the
// simulator's log shows `statusRequests` "Q"s on that port; returns how
// many series were checked.
std::size_t ExpectOnlyOwnAnswers(MonitorProcess& monitor, const UpssimProcess& sim, const std::string& port,
                                 const std::map<std::string, std::string>& prompt, std::size_t statusRequests)
{
    std::size_t checked = 0;
    const bool cycled = MonitorProcess::waitUntil(
        [&] {
            for (const auto& [key, value] : UnitSeries(monitor.metrics(), port)) {
                ++checked;
                const auto own = prompt.find(key);
                EXPECT_TRUE(own != prompt.end() && own->second == value) << key << " " << value;
            }
            return Count(sim.log(), " com2 < 51") >= statusRequests || ::testing::Test::HasFailure();
        },
        3 * kConnectMs);
    EXPECT_TRUE(cycled) << "the slow unit was not polled";
    return checked;
}

// Two units alike; the second, once connected, answers every command 600 ms
// after it, just past the 500 ms a command is waited for: its answers keep
// coming inside the next command's exchange. Every series it has is the
// prompt unit's: never another command's answer. Prompt again, its
// readings come back.
TEST(MonitorReadings, AUnitAnsweringLateNeverHasAnotherCommandsAnswerPublished)
{
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups"});
    MonitorProcess monitor({"--ports", sim.ports(), "COM1", "COM2"});
    // Both units after their rotation has read every slow value.
    ASSERT_TRUE(MonitorProcess::waitUntil(
        [&] { return Count(sim.log(), " com1 < 51") >= 9 && Count(sim.log(), " com2 < 51") >= 9; }, 2 * kConnectMs))
        << monitor.events();
    const auto prompt = UnitSeries(monitor.metrics(), "COM1");
    ASSERT_EQ(prompt.count("tornavel_ups_input_frequency_hertz{}"), 1u) << "the rotation was not read through";
    ASSERT_EQ(UnitSeries(monitor.metrics(), "COM2"), prompt);

    sim.event("com2 delay 600");
    const std::size_t slowFrom = Count(sim.log(), " com2 < 51");
    const std::size_t checked = ExpectOnlyOwnAnswers(monitor, sim, "COM2", prompt, slowFrom + 10);
    std::printf("series of the slow unit checked: %zu\n", checked);
    EXPECT_NE(monitor.metrics().find("tornavel_ups_up{port=\"COM2\"} 1"), std::string::npos)
        << "a late unit still answers";

    sim.event("com2 delay 5");
    ASSERT_TRUE(monitor.waitForMetric(
        "tornavel_ups_load_ratio{port=\"COM2\"} " + prompt.at("tornavel_ups_load_ratio{}"), kConnectMs));
    EXPECT_EQ(monitor.terminate(SIGINT, 15000), 0);
}

// The adapter pulled while the monitor waits between two cycles: the unit is
// down at once (not only after a cycle without answers), its readings go,
// the time of its last good reading stays. A pull that lands inside a cycle
// is not this case: the unit is plugged back and pulled again, a few times
// at most.
TEST(MonitorReadings, UnitWhoseDeviceWentAwayBetweenCyclesIsDownWithoutReadings)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    const std::string path = sim.port("com1");
    const std::string port = "{port=\"" + path + "\"}";
    MonitorProcess monitor({path});
    bool betweenCycles = false;
    for (int round = 0; round < 5 && !betweenCycles; ++round) {
        ASSERT_TRUE(monitor.waitForMetric("tornavel_ups_input_volts" + port + " 229.3", kConnectMs))
            << monitor.events();
        // The cycle's last command ("O") answered: the pause has begun.
        const std::size_t before = Count(sim.log(), " com1 > ");
        const std::size_t lastCommands = Count(sim.log(), " com1 < 4F");
        ASSERT_TRUE(MonitorProcess::waitUntil(
            [&] {
                const std::string log = sim.log();
                return Count(log, " com1 < 4F") > lastCommands && Count(log, " com1 > ") > before &&
                       log.rfind(" com1 > ") > log.rfind(" com1 < 4F");
            },
            kConnectMs));
        sim.event("com1 unplug");
        ASSERT_TRUE(sim.waitForLog(" com1 * unplugged"));
        const std::string log = sim.log();
        const std::string received = log.substr(0, log.find(" com1 * unplugged"));
        betweenCycles = received.rfind(" com1 < ") == received.rfind(" com1 < 4F");

        ASSERT_TRUE(monitor.waitForMetric("tornavel_ups_up" + port + " 0", 30000)) << monitor.metrics();
        const std::string down = monitor.metrics();
        for (const auto& [key, value] : UnitSeries(down, path))  // the identity from the full read only
            EXPECT_TRUE(key.rfind("tornavel_ups_info{", 0) == 0 || key.rfind("tornavel_ups_settings_info{", 0) == 0)
                << key;
        EXPECT_EQ(down.find("tornavel_ups_input_volts" + port), std::string::npos) << down;
        EXPECT_NE(down.find("tornavel_ups_last_good_reading_timestamp_seconds" + port), std::string::npos) << down;
        sim.event("com1 plug");
    }
    EXPECT_TRUE(betweenCycles) << "every pull landed inside a cycle";
    EXPECT_NE(monitor.events().find(" " + path + " link_lost "), std::string::npos) << monitor.events();
}

}  // namespace
}  // namespace tornavel
