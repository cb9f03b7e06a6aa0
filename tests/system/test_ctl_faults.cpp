// tornavelctl where a user was hurt: a change that must reach exactly the
// unit named (the device decides the path, not the label), an interruption
// in the middle of a change, a backup that must apply back unchanged, JSON
// for every command and error, and the control socket with idle clients.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <optional>
#include <regex>

#include "ctl_process.h"
#include "monitor_process.h"
#include "serial/posixport.h"
#include "test_files.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::CtlRun;
using testing::CtlSignal;
using testing::MonitorProcess;
using testing::RunCtl;
using testing::TempDir;
using testing::UpssimProcess;

constexpr int kConnectMs = 30000;  // a full read on a loaded machine: a bound, not a measure
const std::string kFullRead = std::string("Y\x01") + "cnmQP>xBgCjfkEsoluNMLOF970~'8";

std::string Visible(const std::string& bytes)
{
    std::string text;
    for (unsigned char c : bytes) text += c >= 0x20 && c < 0x7F ? std::string(1, char(c)) : "\\x" + std::to_string(c);
    return text;
}

bool Holds(const std::string& text, const std::string& pattern)
{
    return std::regex_search(text, std::regex(pattern));
}

struct RouteRow {
    const char* what;
    std::vector<std::string> args;  // after --socket
    const char* route;              // a pattern the output holds
    bool monitorUnitChanged;        // the monitor's unit got the change
    bool otherUnitChanged;          // the unit of the second simulator got it
};

// A monitor watches COM1 of one simulator; a second simulator plays another
// set of ports. A request reaches the unit whose device file was named: the
// label alone never sends a change to the monitor's unit, and the output
// says which way the request went.
TEST(CtlFaults, AChangeReachesTheDeviceNamedNotTheLabel)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    UpssimProcess other({"--steady", "com1=ups", "com2=ups"});
    TempDir dir;
    const std::string socket = dir / "control";
    MonitorProcess monitor({"--ports", sim.ports(), "--control-socket", socket, "COM1"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.errors();

    const std::vector<RouteRow> rows = {
        {"the monitor's own ports",
         {"--ports", sim.ports(), "set", "COM1", "alarm-delay", "T"},
         "COM1 \\(.*/com1\\) through tornavel-monitor\n",
         true,
         false},
        {"another ports directory",
         {"--ports", other.ports(), "set", "COM1", "alarm-delay", "T"},
         "on the port itself \\(this monitor's COM1 is .*, not .*\\)",
         false,
         true},
        {"the monitor's device by its path",
         {"set", sim.port("com1"), "sensitivity", "M"},
         "through tornavel-monitor, which calls it COM1",
         true,
         false},
        {"a path the monitor does not watch",
         {"set", other.port("com2"), "alarm-delay", "T"},
         "on the port itself\n",
         false,
         true},
    };
    for (const RouteRow& row : rows) {
        SCOPED_TRACE(row.what);
        const std::size_t before = sim.received("com1").size();
        const std::size_t otherBefore = other.received("com1").size() + other.received("com2").size();
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), {"--socket", socket});
        const CtlRun run = RunCtl(args);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        EXPECT_TRUE(Holds(run.out, row.route)) << run.out;
        const std::string mine = sim.received("com1").substr(before);
        const bool monitorChanged = mine.find("+") != std::string::npos;
        const bool otherChanged = other.received("com1").size() + other.received("com2").size() > otherBefore;
        EXPECT_EQ(monitorChanged, row.monitorUnitChanged) << Visible(mine);
        EXPECT_EQ(otherChanged, row.otherUnitChanged);
    }

    // The protocol itself: a request for the label with another device is refused.
    const CtlRun json = RunCtl({"--socket", socket, "--ports", other.ports(), "show", "COM1", "--json"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find(R"("route": "port")"), std::string::npos) << json.out;
}

struct StopRow {
    const char* what;
    std::vector<std::string> args;
    std::string trigger;  // the port's traffic that sends the signal
    int signal;
    std::string traffic;  // everything the port receives: whole steps only, then "R"
    const char* holds;    // a pattern the output holds: what the unit now holds
};

// A signal while a change is under way: the item under way is finished
// (a text to its last character, a register change out of programming mode),
// no later item begins, the unit leaves smart mode with "R", the port is
// released, the output says what the unit holds, and the exit status is
// 128 + the signal. Then show reads every value again.
TEST(CtlFaults, ASignalFinishesTheStepUnderWayLeavesTheUnitAndSaysWhatItHolds)
{
    // On com4 the full read is slow, so the signal surely comes within it.
    UpssimProcess sim({"--steady", "--delay", "com4:200", "com1=ups", "com2=ups", "com3=ups", "com4=ups"});
    const std::string zeros(5, '\0');
    const std::vector<StopRow> rows = {
        {"com1",
         {"set", "COM1", "name", "abc", "alarm-delay", "T"},
         kFullRead + "c+a",
         SIGINT,
         kFullRead + "c+abc" + zeros + "cR",
         R"(name: changed from "UPS_IDEN" to "abc"[^\n]*\n.*alarm-delay: not attempted[^\n]*holds "0")"},
        {"com2",
         {"set", "COM2", "register0", "a3", "--yes"},
         kFullRead + "110+",
         SIGTERM,
         kFullRead + "110+0+0+RY0R",
         R"(register0: changed from "A0" to "A3")"},
        {"com3",
         {"set", "COM3", "register0", "a2", "--yes"},
         kFullRead + "1",
         SIGHUP,
         kFullRead + "110+0+RY0R",
         R"(register0: changed from "A0" to "A2")"},
        {"com4",
         {"set", "COM4", "name", "abc"},
         kFullRead.substr(0, 4),
         SIGINT,
         kFullRead + "R",
         R"(name: not attempted[^\n]*holds "UPS_IDEN")"},
    };
    std::vector<std::future<CtlRun>> runs;
    for (const StopRow& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), {"--ports", sim.ports()});
        const std::string port = row.what;
        const std::string trigger = row.trigger;
        const int signal = row.signal;
        runs.push_back(std::async(std::launch::async, [&sim, args, port, trigger, signal] {
            return RunCtl(
                args, CtlSignal{[&sim, port, trigger] { return sim.received(port).rfind(trigger, 0) == 0; }, signal});
        }));
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const StopRow& row = rows[i];
        SCOPED_TRACE(row.what);
        const CtlRun run = runs[i].get();
        EXPECT_EQ(run.status, 128 + row.signal) << run.out << run.err;
        EXPECT_TRUE(Holds(run.out, row.holds)) << run.out;
        EXPECT_NE(run.err.find("ended by SIG"), std::string::npos) << run.err;
        EXPECT_EQ(Visible(sim.received(row.what)), Visible(row.traffic));
        // The port is free again: not exclusive, not locked.
        EXPECT_NE(OpenSerialDevice(sim.port(row.what), kUucpLockDir), nullptr);
        // A unit left in programming mode would never answer the full read;
        // one late answer on a loaded machine is not that, so show may try again.
        CtlRun show;
        for (int attempt = 0; attempt < 3 && show.status != 0; ++attempt)
            show = RunCtl({"--ports", sim.ports(), "show", std::string("COM") + row.what[3]});
        EXPECT_EQ(show.status, 0) << show.out << show.err;
        EXPECT_EQ(show.out.find("(no answer)"), std::string::npos) << show.out;
    }
}

// A signal while the monitor performs a request: the monitor finishes the
// change it was handed (the whole name), the program begins no later one,
// says what the unit holds and exits with 128 + the signal.
TEST(CtlFaults, ASignalThroughTheMonitorLetsItFinishTheChangeUnderWay)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    const std::string socket = dir / "control";
    MonitorProcess monitor({"--ports", sim.ports(), "--control-socket", socket, "COM1"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.errors();

    const CtlRun run = RunCtl(
        {"--socket", socket, "--ports", sim.ports(), "set", "COM1", "name", "abc", "alarm-delay", "T"},
        CtlSignal{[&sim] { return sim.received("com1").find("c+a") != std::string::npos; }, SIGINT});
    EXPECT_EQ(run.status, 128 + SIGINT) << run.out << run.err;
    EXPECT_NE(run.out.find("through tornavel-monitor"), std::string::npos) << run.out;
    EXPECT_TRUE(
        Holds(run.out, R"(name: changed from "UPS_IDEN" to "abc"[^\n]*\n.*alarm-delay: not attempted[^\n]*holds "0")"))
        << run.out;
    EXPECT_NE(run.err.find("ended by SIGINT"), std::string::npos) << run.err;
    const std::string traffic = sim.received("com1");
    EXPECT_NE(traffic.find("c+abc" + std::string(5, '\0')), std::string::npos) << Visible(traffic);
    EXPECT_EQ(traffic.find("k+"), std::string::npos) << Visible(traffic);
    EXPECT_TRUE(MonitorProcess::waitUntil(
        [&] { return Holds(monitor.metrics(), R"(tornavel_ups_info\{port="COM1",[^}]*name="abc")"); }, kConnectMs));
    EXPECT_EQ(monitor.terminate(SIGTERM, kConnectMs), 0);
}

// show never passes off a missing answer as a value: a unit that leaves one
// unanswered gives exit status 1, the value reads "(no answer)" and --json
// lists it.
TEST(CtlFaults, ShowWithAnUnansweredValueFails)
{
    UpssimProcess sim({"--steady", "--drop", "com1:3", "com1=ups", "com2=ups"});
    const CtlRun run = RunCtl({"--ports", sim.ports(), "show", "COM1"});
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_TRUE(Holds(run.out, "\n  name +\\(no answer\\)\n")) << run.out;
    EXPECT_NE(run.err.find("did not answer for name"), std::string::npos) << run.err;
    // The typed readings, not the unit's raw answers.
    const CtlRun whole = RunCtl({"--ports", sim.ports(), "show", "COM2"});
    EXPECT_EQ(whole.status, 0) << whole.out << whole.err;
    EXPECT_TRUE(Holds(whole.out, "\n  runtime +42 min\n")) << whole.out;
    EXPECT_TRUE(Holds(whole.out, "\n  temperature +31.5 °C\n")) << whole.out;
    EXPECT_TRUE(Holds(whole.out, "\n  external-batteries +0\n")) << whole.out;
    EXPECT_TRUE(Holds(whole.out, "\n  load +23.4 %\n")) << whole.out;
}

struct RoundTripRow {
    const char* what;
    bool throughMonitor;  // a monitor watches both units and performs the changes
};

// Every setting a backup writes applies back unchanged, to the same unit
// (nothing to do) and to another (brought to it), with the dates as units
// report them, month first: on the ports themselves and through a monitor.
TEST(CtlFaults, EveryBackedUpValueAppliesBack)
{
    for (const RoundTripRow row : {RoundTripRow{"on the ports", false}, RoundTripRow{"through a monitor", true}}) {
        SCOPED_TRACE(row.what);
        UpssimProcess sim({"--steady", "com1=ups", "com2=ups2"});
        sim.event("com1 set x 03/15/04");
        ASSERT_TRUE(sim.waitForLog("com1 * event"));
        TempDir dir;
        const std::string socket = dir / "control";
        std::optional<MonitorProcess> monitor;
        if (row.throughMonitor) {
            monitor.emplace(
                std::vector<std::string>{"--ports", sim.ports(), "--control-socket", socket, "COM1", "COM2"});
            for (const char* port : {"COM1", "COM2"})
                ASSERT_TRUE(
                    monitor->waitForMetric(std::string(R"(tornavel_ups_up{port=")") + port + R"("} 1)", kConnectMs))
                    << monitor->errors();
        }
        const auto ctl = [&](std::vector<std::string> args) {
            args.insert(args.begin(), {"--socket", socket, "--ports", sim.ports()});
            return RunCtl(args);
        };
        const std::string route = row.throughMonitor ? "through tornavel-monitor" : "on the port itself";

        const std::string file = dir / "f.yaml";
        const CtlRun backup = ctl({"backup", "COM1", file});
        ASSERT_EQ(backup.status, 0) << backup.out << backup.err;
        const std::string text = testing::ReadFile(file);
        EXPECT_NE(text.find("\nbattery-date: \"03/15/04\"\n"), std::string::npos) << text;

        const CtlRun same = ctl({"apply", file, "COM1"});
        EXPECT_EQ(same.status, 0) << same.out << same.err;
        EXPECT_NE(same.out.find("nothing to change"), std::string::npos) << same.out;

        const CtlRun both = ctl({"apply", file, "COM1", "COM2"});
        EXPECT_EQ(both.status, 0) << both.out << both.err;
        EXPECT_NE(both.out.find(route), std::string::npos) << both.out;
        TempDir again;
        const CtlRun copy = ctl({"backup", "COM2", again / "f.yaml"});
        ASSERT_EQ(copy.status, 0) << copy.err;
        const auto settings = [](const std::string& backupText) {
            return backupText.substr(backupText.find("tornavel-settings:"));
        };
        EXPECT_EQ(settings(testing::ReadFile(again / "f.yaml")), settings(text));
    }
}

struct JsonRow {
    std::vector<std::string> args;
    int status;
    const char* holds;  // a pattern the one JSON line holds
};

// With --json every command, and every error, gives one JSON object on one
// line with the shape's version and the exit status.
TEST(CtlFaults, JsonForEveryCommandAndError)
{
    UpssimProcess sim({"--steady", "com1=ups", "com2=silent"});
    TempDir dir;
    const std::string backup = dir / "b.yaml";
    std::ofstream(dir / "bad.yaml") << "tornavel-settings: 1\n\x1b[31mcolour: red\n";
    std::ofstream(dir / "good.yaml") << "tornavel-settings: 1\nalarm-delay: \"0\"\n";
    const std::vector<JsonRow> rows = {
        {{"show", "COM1"},
         0,
         R"("values": \{"model": \{"value": "Smart-UPS 1000", "unit": "", "raw": "Smart-UPS 1000"\})"},
        {{"show", "COM1"}, 0, R"("load": \{"value": 23.4, "unit": "%", "raw": "023.4"\})"},
        {{"show", "COM2"}, 1, R"("command": "show".*"route": null.*"error": "COM2: no Smart-UPS answers)"},
        {{"set", "COM1", "alarm-delay", "0"}, 0, R"("units": \[\{"port": "COM1".*"status": "unchanged")"},
        {{"set", "COM2", "alarm-delay", "T"}, 1, R"("units": \[\{"port": "COM2".*"reached": false, "error": "COM2: no)"},
        {{"set", "COM1", "colour", "red"}, 2, R"("error": "unknown setting \\"colour\\"")"},
        {{"backup", "COM1", backup}, 0, R"("settings": \{"alarm-delay": "0")"},
        {{"backup", "COM2", backup}, 1, R"("error": "COM2: no Smart-UPS)"},
        {{"apply", dir / "good.yaml", "COM1", "--dry-run"}, 0, R"("dry_run": true.*"units": \[)"},
        {{"apply", dir / "bad.yaml", "COM1"}, 2, R"("error": ".*unknown setting \\"\\u001b\[31mcolour)"},
        {{"test", "COM1", "indicator"}, 0, R"("test": "indicator".*"answer": "OK")"},
        {{"test", "COM1", "calibrate"}, 2, R"("error": "calibrate needs --yes)"},
        {{"diagnose", "COM1"}, 0, R"("smart_ups": true, "report": ".*handshake)"},
        {{"diagnose", "COM2"}, 1, R"("smart_ups": false)"},
        {{"frobnicate"}, 2, R"("error": "unknown command frobnicate")"},
        {{"--version"}, 0, R"("tornavelctl": ")"},
    };
    for (const JsonRow& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), {"--json", "--socket", dir / "none", "--ports", sim.ports()});
        const CtlRun run = RunCtl(args);
        SCOPED_TRACE(row.args[0] + (row.args.size() > 1 ? " " + row.args[1] : ""));
        EXPECT_EQ(run.status, row.status) << run.out << run.err;
        ASSERT_FALSE(run.out.empty()) << run.err;
        EXPECT_EQ(run.out.front(), '{');
        EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << run.out;
        EXPECT_TRUE(Holds(run.out, "^\\{\"version\": 1, ")) << run.out;
        EXPECT_TRUE(Holds(run.out, "\"exit\": " + std::to_string(row.status) + "[,}]")) << run.out;
        EXPECT_TRUE(Holds(run.out, row.holds)) << run.out;
    }
    // A text from a file reaches the terminal escaped.
    const CtlRun text = RunCtl({"--ports", sim.ports(), "apply", dir / "bad.yaml", "COM1"});
    EXPECT_EQ(text.err.find('\x1b'), std::string::npos) << text.err;
    EXPECT_NE(text.err.find("\\x1B[31mcolour"), std::string::npos) << text.err;
}

// A client that connects and then says nothing (a byte now and then keeps
// it from timing out) holds no other client back; the monitor's messages
// are printed once, and a change that sends nothing logs no event.
TEST(CtlFaults, TheSocketServesClientsBesideIdleOnes)
{
    UpssimProcess sim({"--steady", "com1=ups", "com3=silent"});
    TempDir dir;
    const std::string socket = dir / "control";
    MonitorProcess monitor({"--ports", sim.ports(), "--control-socket", socket, "COM1", "COM3"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.errors();

    std::vector<int> idle;
    for (int i = 0; i < 4; ++i) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket.c_str());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        idle.push_back(fd);
    }
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        // A byte a second: never a whole line, never silent for the server's 5 s.
        while (trickling) {
            for (const int fd : idle) (void)!::send(fd, "t", 1, MSG_NOSIGNAL);
            MonitorProcess::waitUntil([&] { return !trickling; }, 1000);
        }
    });
    const CtlRun show = RunCtl({"--socket", socket, "--ports", sim.ports(), "show", "COM1"});
    const CtlRun same = RunCtl({"--socket", socket, "--ports", sim.ports(), "set", "COM1", "alarm-delay", "0"});
    const CtlRun silent = RunCtl({"--socket", socket, "--ports", sim.ports(), "show", "COM3"});
    trickling = false;
    trickle.join();
    for (const int fd : idle) ::close(fd);

    EXPECT_EQ(show.status, 0) << show.err;
    EXPECT_NE(show.out.find("through tornavel-monitor"), std::string::npos) << show.out;
    EXPECT_EQ(same.status, 0) << same.err;
    EXPECT_NE(same.out.find(R"(already "0", nothing sent)"), std::string::npos) << same.out;
    EXPECT_EQ(silent.status, 1);
    EXPECT_EQ(testing::Count(silent.err, "COM3:"), 1u) << silent.err;

    const CtlRun changed = RunCtl({"--socket", socket, "--ports", sim.ports(), "set", "COM1", "alarm-delay", "T"});
    EXPECT_EQ(changed.status, 0) << changed.err;
    ASSERT_TRUE(monitor.waitForEvent("COM1 setting_changed alarm-delay", kConnectMs));
    EXPECT_EQ(testing::Count(monitor.events(), "setting_changed"), 1u) << monitor.events();
    EXPECT_EQ(monitor.terminate(SIGTERM, kConnectMs), 0);
}

// The settings that decide how power comes back are stepped with read-back
// like the others, over lists the program never assumes: two units with
// lists of their own, one through a monitor (which publishes them), one on
// its port; a value one unit does not offer is reported with its list.
TEST(CtlFaults, PowerReturnSettingsAreSteppedOnEachUnitsOwnList)
{
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups2"});
    TempDir dir;
    const std::string socket = dir / "control";
    MonitorProcess monitor({"--ports", sim.ports(), "--control-socket", socket, "COM1"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.errors();
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_shutdown_grace_delay_seconds{port="COM1"} 20)", kConnectMs));
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_last_transfer_cause_info{port="COM1",cause="O"} 1)", 1000));
    const std::vector<std::string> base = {"--socket", socket, "--ports", sim.ports()};
    const auto ctl = [&](std::vector<std::string> args) {
        args.insert(args.begin(), base.begin(), base.end());
        return RunCtl(args);
    };

    const CtlRun show = ctl({"show", "COM2"});
    EXPECT_EQ(show.status, 0) << show.out << show.err;
    for (const char* line :
         {"\n  grace-delay +090 s\n", "\n  low-battery-warning +05 min\n", "\n  last-self-test +OK \\(passed\\)\n",
          "\n  last-transfer-cause +L \\(low mains voltage\\)\n"})
        EXPECT_TRUE(Holds(show.out, line)) << line << " in\n" << show.out;

    const std::string file = dir / "power.yaml";
    std::ofstream(file) << "tornavel-settings: 1\ngrace-delay: \"180\"\nlow-battery-warning: \"05\"\n";
    const CtlRun apply = ctl({"apply", file, "COM1", "COM2"});
    EXPECT_EQ(apply.status, 0) << apply.out << apply.err;
    EXPECT_NE(apply.out.find("through tornavel-monitor"), std::string::npos) << apply.out;
    EXPECT_NE(apply.out.find(R"(COM1 grace-delay: changed from "020" to "180" in 1 step)"), std::string::npos)
        << apply.out;
    EXPECT_NE(apply.out.find(R"(COM2 grace-delay: changed from "090" to "180" in 1 step)"), std::string::npos)
        << apply.out;
    EXPECT_NE(apply.out.find(R"(COM1 low-battery-warning: changed from "02" to "05")"), std::string::npos) << apply.out;
    EXPECT_NE(sim.received("com2").find("p+p"), std::string::npos);
    EXPECT_EQ(sim.received("com2").find("q+"), std::string::npos) << "ups2 shows 05 already";
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_shutdown_grace_delay_seconds{port="COM1"} 180)", kConnectMs));

    const CtlRun missing = ctl({"set", "COM2", "wakeup-delay", "060"});
    EXPECT_EQ(missing.status, 1) << missing.out;
    EXPECT_NE(missing.out.find(R"(offers "000", "120", "240" (back at "000")"), std::string::npos) << missing.out;

    const CtlRun backup = ctl({"backup", "COM2", dir / "b.yaml"});
    EXPECT_EQ(backup.status, 0) << backup.err;
    const std::string text = testing::ReadFile(dir / "b.yaml");
    for (const char* line : {"\ngrace-delay: \"180\"\n", "\nreturn-charge: \"00\"\n", "\nwakeup-delay: \"000\"\n",
                             "\nlow-battery-warning: \"05\"\n"})
        EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
}

}  // namespace
}  // namespace tornavel
