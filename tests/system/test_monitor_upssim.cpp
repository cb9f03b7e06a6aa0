// tornavel-monitor as a whole program against the simulator: two units and a
// silent port published over HTTP and in the text file, a mains failure
// counted and logged, the stop that sends "R" to every unit, a pulled cable,
// the event program, and bad input. Loopback only; every wait is bounded.
#include <gtest/gtest.h>

#include <dirent.h>

#include <csignal>
#include <fstream>
#include <regex>
#include <sstream>

#include "monitor_process.h"
#include "serial/posixport.h"
#include "test_files.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::Count;
using testing::HttpRequest;
using testing::MonitorProcess;
using testing::ReadFile;
using testing::TempDir;
using testing::UpssimProcess;

// A full read is thirty exchanges of about 200 ms; this leaves room for a
// loaded machine. A bound, not a measured time.
constexpr int kConnectMs = 30000;

// Milliseconds of the byte log's lines for one port, matching a payload.
std::vector<double> LogTimes(const std::string& log, const std::string& port, const std::string& what)
{
    std::vector<double> times;
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);)
        if (line.find(" " + port + " " + what) != std::string::npos) times.push_back(std::stod(line));
    return times;
}

// The main path in one run: both units read with the simulator's values, the
// silent port reported down, the text file equal to what HTTP serves, the
// endpoint read-only, a mains failure counted, and the stop.
TEST(MonitorWithSimulator, TwoUnitsAndASilentPortFromStartToStop)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups", "com3=silent", "com4=ups2"});
    TempDir dir;
    MonitorProcess monitor({"--ports", sim.ports(), "--textfile", dir / "ups.prom", "COM1", "COM3", "COM4"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.events();
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM4"} 1)", kConnectMs)) << monitor.events();

    const std::string metrics = monitor.metrics();
    for (const char* line :
         {R"(tornavel_ups_up{port="COM3"} 0)", R"(tornavel_ups_input_volts{port="COM1"} 229.3)",
          R"(tornavel_ups_input_volts{port="COM4"} 226.8)", R"(tornavel_ups_load_ratio{port="COM4"} 0.417)",
          R"(tornavel_ups_runtime_seconds{port="COM1"} 2520)", R"(tornavel_ups_status{port="COM1",flag="on_line"} 1)"})
        EXPECT_NE(metrics.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << metrics;
    EXPECT_NE(metrics.find(R"(model="Smart-UPS 700",serial="NS9907654321")"), std::string::npos);
    EXPECT_EQ(metrics.find(R"(tornavel_ups_input_volts{port="COM3")"), std::string::npos);
    EXPECT_EQ(Count(monitor.events(), " COM3 unavailable "), 1u) << monitor.events();
    // The text file holds the same exposition (a later cycle may have moved
    // the timestamps only).
    EXPECT_TRUE(MonitorProcess::waitUntil(
        [&] {
            return ReadFile(dir / "ups.prom").find(R"(tornavel_ups_input_volts{port="COM4"} 226.8)") !=
                   std::string::npos;
        },
        5000))
        << ReadFile(dir / "ups.prom");

    // Read-only: other paths and methods are refused and nothing reaches a unit.
    EXPECT_EQ(HttpRequest(monitor.port(), "GET", "/").status, 404);
    EXPECT_EQ(HttpRequest(monitor.port(), "GET", "/metrics/../R").status, 404);
    const auto post = HttpRequest(monitor.port(), "POST", "/metrics", "R");
    EXPECT_EQ(post.status, 405);
    EXPECT_NE(post.headers.find("Allow: GET, HEAD"), std::string::npos) << post.headers;
    const auto head = HttpRequest(monitor.port(), "HEAD", "/metrics");
    EXPECT_EQ(head.status, 200);
    EXPECT_TRUE(head.body.empty());
    EXPECT_NE(head.headers.find("text/plain; version=0.0.4"), std::string::npos);
    EXPECT_EQ(sim.received("com1").find('R'), std::string::npos);

    sim.event("com1 mains-fail");
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_alerts_total{port="COM1",alert="mains_failure"} 1)", 10000));
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_status{port="COM1",flag="on_battery"} 1)", 10000));
    EXPECT_NE(monitor.metrics().find(R"(tornavel_ups_alerts_total{port="COM4",alert="mains_failure"} 0)"),
              std::string::npos);
    EXPECT_TRUE(monitor.waitForEvent(R"(\n\S+Z COM1 mains_failure Сбой сети\.\n)", 5000)) << monitor.events();

    // SIGHUP ends nothing: the text file, removed meanwhile, is written anew.
    std::filesystem::remove(dir / "ups.prom");
    ::kill(monitor.pid(), SIGHUP);
    EXPECT_TRUE(MonitorProcess::waitUntil([&] { return std::filesystem::exists(dir / "ups.prom"); }, 5000));
    EXPECT_EQ(HttpRequest(monitor.port(), "GET", "/metrics").status, 200);

    // SIGTERM: each unit gets "R" as its last byte and its port is closed a
    // second later; then the exit status is 0.
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0) << monitor.errors();
    // No unit is watched any more, and the file says so: down, no readings,
    // the counters kept.
    const std::string stopped = ReadFile(dir / "ups.prom");
    for (const char* line :
         {R"(tornavel_ups_up{port="COM1"} 0)", R"(tornavel_ups_up{port="COM3"} 0)", R"(tornavel_ups_up{port="COM4"} 0)",
          R"(tornavel_ups_alerts_total{port="COM1",alert="mains_failure"} 1)"})
        EXPECT_NE(stopped.find(std::string(line) + "\n"), std::string::npos) << line << "\n" << stopped;
    for (const char* reading : {"tornavel_ups_input_volts{", "tornavel_ups_status{", "tornavel_ups_load_ratio{"})
        EXPECT_EQ(stopped.find(reading), std::string::npos) << reading << "\n" << stopped;
    const std::string log = sim.log();
    for (const char* port : {"com1", "com4"}) {
        const std::string received = sim.received(port);
        ASSERT_FALSE(received.empty());
        EXPECT_EQ(received.back(), 'R') << port;
        const auto bye = LogTimes(log, port, "< 52");
        const auto closed = LogTimes(log, port, "* closed");
        ASSERT_FALSE(bye.empty());
        ASSERT_FALSE(closed.empty());
        EXPECT_GE(closed.back() - bye.back(), 1000.0) << port;
    }
    EXPECT_NE(monitor.events().find(" - stop "), std::string::npos);
}

// A pulled cable: health 0 within the cycle, no current readings, then a
// new handshake and full read once it is back; then a flood.
TEST(MonitorWithSimulator, UnpluggedUnitGoesDownAndComesBack)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    // Named by its path: looked up again at every open, so the new
    // pseudo-terminal behind the link is found after the replug.
    const std::string path = sim.port("com1");
    const std::string port = "{port=\"" + path + "\"}";
    MonitorProcess monitor({path});
    ASSERT_TRUE(monitor.waitForMetric("tornavel_ups_up" + port + " 1", kConnectMs)) << monitor.events();

    sim.event("com1 unplug");
    // Down after the cycle that got no answer: the unit worker's tests prove
    // that on virtual time; here, however slow the machine, it comes.
    ASSERT_TRUE(monitor.waitForMetric("tornavel_ups_up" + port + " 0", 10000));
    const std::string down = monitor.metrics();
    EXPECT_EQ(down.find("tornavel_ups_input_volts" + port), std::string::npos) << down;
    EXPECT_NE(down.find("tornavel_ups_last_good_reading_timestamp_seconds" + port), std::string::npos);
    EXPECT_NE(down.find("tornavel_ups_link_losses_total" + port + " 1"), std::string::npos);
    EXPECT_TRUE(monitor.waitForEvent(" " + path + " link_lost ", 2000));

    sim.event("com1 plug");
    ASSERT_TRUE(monitor.waitForMetric("tornavel_ups_up" + port + " 1", kConnectMs)) << monitor.events();
    EXPECT_EQ(Count(monitor.events(), " " + path + " connected "), 2u);
    EXPECT_NE(monitor.metrics().find("tornavel_ups_input_volts" + port + " 229.3"), std::string::npos);

    // A flood of unasked bytes: the endpoint keeps answering, a reading
    // mixed with the flood is left out rather than misread, and the values
    // are back once it is over.
    const std::regex wrongVolts(R"(tornavel_ups_input_volts\{port="[^"]*"\} (?!229\.3\n))");
    for (int burst = 0; burst < 25; ++burst) {
        sim.event("com1 send " + std::string(1000, 'x'));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const auto reply = HttpRequest(monitor.port(), "GET", "/metrics");
        EXPECT_EQ(reply.status, 200);
        EXPECT_FALSE(std::regex_search(reply.body, wrongVolts)) << reply.body;
    }
    EXPECT_TRUE(monitor.waitForMetric("tornavel_ups_input_volts" + port + " 229.3", 15000));
    EXPECT_EQ(monitor.terminate(SIGINT, 15000), 0);
}

// Unit text reaches the event program as data: arguments and variables
// arrive byte for byte and no shell ever sees them.
TEST(MonitorWithSimulator, EventProgramGetsUnitTextIntactAndUnexecuted)
{
    TempDir dir;
    const std::string hook = dir / "hook";
    std::ofstream(hook) << "#!/bin/sh\n"
                           "{ printf '%s|' \"$@\"; printf '%s|%s|%s|%s\\n' \"$TORNAVEL_EVENT\" \"$TORNAVEL_PORT\" "
                           "\"$TORNAVEL_MODEL\" \"$TORNAVEL_MESSAGE\"; } >> \"$0.calls\"\n";
    std::filesystem::permissions(hook, std::filesystem::perms::owner_all);
    // Shell metacharacters that pass the alert filter (which takes "$", "|",
    // "*", "?" and the other alert characters out of every answer).
    const std::string model = "x;touch " + dir.path().string() + "/pwned`touch " + dir.path().string() +
                              "/pwned2`'\"&<>(y)\\";
    UpssimProcess sim({"--steady", "com1=ups"});
    std::string escaped;  // the simulator reads escapes in the text
    for (char c : model) escaped += c == '\\' ? std::string("\\\\") : std::string(1, c);
    // ESC and BEL, which would colour or ring a terminal showing the journal,
    // arrive as U+FFFD in the log and in the variables alike.
    sim.event("com1 set \\x01 " + escaped + "\\x1b[31m\\x07");
    const std::string shown = model + "\uFFFD[31m\uFFFD";
    MonitorProcess monitor({"--ports", sim.ports(), "--on-event", hook, "COM1"});
    ASSERT_TRUE(MonitorProcess::waitUntil(
        [&] { return ReadFile(hook + ".calls").find("connected|COM1|") != std::string::npos; }, kConnectMs))
        << monitor.events() << monitor.errors();
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0);

    const std::string calls = ReadFile(hook + ".calls");
    EXPECT_NE(calls.find("start|-|start|-||listening on"), std::string::npos) << calls;
    EXPECT_NE(calls.find("connected|COM1|connected|COM1|" + shown + "|" + shown + ", serial QS0512345678\n"),
              std::string::npos)
        << calls;
    const std::string events = monitor.events();
    EXPECT_NE(events.find(" COM1 connected " + shown + ", serial QS0512345678\n"), std::string::npos) << events;
    for (const std::string& text : {calls, events}) {
        EXPECT_EQ(text.find('\x1b'), std::string::npos);
        EXPECT_EQ(text.find('\x07'), std::string::npos);
    }
    EXPECT_NE(calls.find("stop|-|stop|-|"), std::string::npos) << calls;
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned"));
    EXPECT_FALSE(std::filesystem::exists(dir / "pwned2"));
}

// Children of a process that have ended but were not reaped.
int Zombies(pid_t parent)
{
    int zombies = 0;
    DIR* proc = ::opendir("/proc");
    while (dirent* entry = ::readdir(proc)) {
        std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
        std::string text;
        if (!std::getline(stat, text)) continue;
        const auto close = text.rfind(')');
        std::istringstream fields(text.substr(close + 2));
        char state;
        int ppid;
        fields >> state >> ppid;
        if (ppid == parent && state == 'Z') ++zombies;
    }
    ::closedir(proc);
    return zombies;
}

// An event program that never returns is killed after its timeout and
// reaped, while the unit is connected and polled meanwhile.
TEST(MonitorWithSimulator, HangingEventProgramIsKilledWithoutHoldingUpPolling)
{
    TempDir dir;
    const std::string hook = dir / "hang";
    std::ofstream(hook) << "#!/bin/sh\n[ \"$1\" = start ] && exec sleep 600\nexit 0\n";
    std::filesystem::permissions(hook, std::filesystem::perms::owner_all);
    UpssimProcess sim({"--steady", "com1=ups"});
    MonitorProcess monitor({"--ports", sim.ports(), "--on-event", hook, "--hook-timeout", "12", "COM1"});
    // The program run for "start" hangs all the while the unit is read.
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.events();
    EXPECT_EQ(monitor.events().find("hook_timeout"), std::string::npos) << "the read was meant to overlap the hang";
    ASSERT_TRUE(monitor.waitForEvent(R"( - hook_timeout \S+ for start still running after 12 s: ended)", 20000))
        << monitor.events();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(Zombies(monitor.pid()), 0);
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0);
}

// A process that is gone or only waits to be reaped by someone else.
bool Ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    return !std::getline(stat, text) || text[text.rfind(')') + 2] == 'Z';
}

// Whether every process named in the file, one pid a line, has ended.
bool AllEnded(const std::string& pidFile)
{
    std::istringstream pids(ReadFile(pidFile));
    for (pid_t pid = 0; pids >> pid;)
        if (!Ended(pid)) return false;
    return true;
}

// 500 alert characters with a battery-low alert among them, while the event
// program hangs on the first mains failure: the battery-low program runs at
// once, the flood is one line, one run and then one summary, every alert is
// counted, and SIGTERM still ends the monitor within its stop deadline,
// ending the hung program with its child.
TEST(MonitorWithSimulator, AlertFloodIsFoldedAndAStopDuringItKeepsItsDeadline)
{
    TempDir dir;
    const std::string hook = dir / "hook";
    std::ofstream(hook) << "#!/bin/sh\n"
                           "echo \"$1 $TORNAVEL_REPEATS\" >> \"$0.calls\"\n"
                           "if [ \"$1\" = mains_failure ] && [ -z \"$TORNAVEL_REPEATS\" ]; then\n"
                           "  sleep 600 & echo $! > \"$0.child\"; wait\n"
                           "fi\n";
    std::filesystem::permissions(hook, std::filesystem::perms::owner_all);
    UpssimProcess sim({"--steady", "com1=ups"});
    MonitorProcess monitor({"--ports", sim.ports(), "--on-event", hook, "--hook-timeout", "600", "COM1"});
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor.events();

    sim.event("com1 send " + std::string(250, '!') + "%" + std::string(249, '!'));
    ASSERT_TRUE(monitor.waitForMetric(R"(tornavel_ups_alerts_total{port="COM1",alert="mains_failure"} 499)", 15000))
        << monitor.metrics();
    EXPECT_TRUE(MonitorProcess::waitUntil(
        [&] { return ReadFile(hook + ".calls").find("battery_low \n") != std::string::npos; }, 5000))
        << ReadFile(hook + ".calls");
    ASSERT_TRUE(MonitorProcess::waitUntil([&] { return !ReadFile(hook + ".child").empty(); }, 5000));
    EXPECT_TRUE(monitor.waitForMetric("tornavel_monitor_events_coalesced_total 498", 5000));
    EXPECT_NE(monitor.metrics().find(R"(tornavel_ups_alerts_total{port="COM1",alert="battery_low"} 1)"),
              std::string::npos);
    EXPECT_EQ(Count(monitor.events(), " COM1 mains_failure "), 1u) << monitor.events();
    EXPECT_EQ(Count(monitor.events(), " COM1 battery_low "), 1u) << monitor.events();

    // The units' "R" first, then at most a few seconds for the event
    // program: far less than its timeout.
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0) << monitor.events();
    EXPECT_EQ(sim.received("com1").back(), 'R');
    const std::string events = monitor.events();
    EXPECT_NE(events.find(" COM1 mains_failure repeated 498 more time(s) within 10 s\n"), std::string::npos) << events;
    EXPECT_NE(events.find(" for mains_failure still running at the stop: ended\n"), std::string::npos) << events;
    EXPECT_EQ(Count(events, " COM1 mains_failure "), 2u) << events;
    EXPECT_TRUE(MonitorProcess::waitUntil([&] { return Ended(std::stoi(ReadFile(hook + ".child"))); }, 2000));
    EXPECT_EQ(Count(ReadFile(hook + ".calls"), "mains_failure \n"), 1u) << ReadFile(hook + ".calls");
}

// While the stop waits for a hung event program, a second SIGTERM ends the
// monitor at once (exit status 1) and the program with it.
TEST(MonitorStop, SecondSignalEndsAtOnce)
{
    TempDir dir;
    const std::string hook = dir / "hook";
    // Each event runs it: every child is noted, none overwritten.
    std::ofstream(hook) << "#!/bin/sh\nsleep 600 & echo $! >> \"$0.child\"; wait\n";
    std::filesystem::permissions(hook, std::filesystem::perms::owner_all);
    MonitorProcess monitor({"--ports", "/nonexistent", "--on-event", hook, "--hook-timeout", "600", "COM1"});
    ASSERT_TRUE(MonitorProcess::waitUntil([&] { return !ReadFile(hook + ".child").empty(); }, 5000));
    ::kill(monitor.pid(), SIGTERM);
    ASSERT_TRUE(monitor.waitForEvent(" - stop all ports closed\n", 5000)) << monitor.events();
    EXPECT_EQ(monitor.terminate(SIGTERM, 10000), 1);
    EXPECT_EQ(monitor.errors(), "tornavel-monitor: second stop signal: ending at once\n");
    EXPECT_TRUE(MonitorProcess::waitUntil([&] { return AllEnded(hook + ".child"); }, 10000))
        << ReadFile(hook + ".child");
}

// Bad input at start: each a clear one-line error and the right exit status,
// or, for a port that cannot be used yet, one log line and retries.
struct StartFailure {
    std::vector<std::string> args;
    int status;
    const char* error;
};

class MonitorStartFailure : public ::testing::TestWithParam<StartFailure> {};

TEST_P(MonitorStartFailure, EndsWithOneLineReason)
{
    MonitorProcess monitor(GetParam().args, /*pickPort=*/false);
    EXPECT_EQ(monitor.wait(5000), GetParam().status);
    const std::string errors = monitor.errors();
    EXPECT_NE(errors.find(GetParam().error), std::string::npos) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 1) << errors;
    EXPECT_EQ(monitor.events(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Monitor, MonitorStartFailure,
    ::testing::Values(
        StartFailure{{"COM99"}, 2, "tornavel-monitor: unknown port 'COM99'"},
        StartFailure{{"--listen", "127.0.0.1:0", "--frobnicate", "COM1"}, 2, "unknown option '--frobnicate'"},
        StartFailure{{"--listen", "127.0.0.1:0", "--textfile", "/nonexistent-dir/ups.prom", "COM1"},
                     1,
                     "tornavel-monitor: cannot write beside /nonexistent-dir/ups.prom: No such file or directory"},
        StartFailure{{"--listen", "127.0.0.1:0", "--textfile", "/proc/version/ups.prom", "COM1"},
                     1,
                     "cannot write beside /proc/version/ups.prom: Not a directory"},
        StartFailure{{"--listen", "192.0.2.1:9184", "COM1"},
                     1,
                     "cannot listen on 192.0.2.1:9184: Cannot assign requested address"},
        StartFailure{{"--listen", "127.0.0.1:0", "--on-event", "/nonexistent/hook", "COM1"},
                     2,
                     "tornavel-monitor: --on-event program '/nonexistent/hook' does not exist or is not executable"},
        StartFailure{{"--listen", "127.0.0.1:0", "/dev/null", "/dev/./null"},
                     2,
                     "tornavel-monitor: ports '/dev/null' and '/dev/./null' are the same device (/dev/null)"}));

TEST(MonitorStart, ListenAddressInUse)
{
    MonitorProcess first({"COM1", "--ports", "/nonexistent"});
    ASSERT_GT(first.port(), 0);
    const std::string taken = "127.0.0.1:" + std::to_string(first.port());
    MonitorProcess second({"--listen", taken, "COM1"}, /*pickPort=*/false);
    EXPECT_EQ(second.wait(5000), 1);
    EXPECT_EQ(second.errors(), "tornavel-monitor: cannot listen on " + taken + ": Address already in use\n");
}

// Absent, busy and garbage-talking ports: the monitor keeps running, serves
// its metrics, says once why each port cannot be used, and takes the busy
// port as soon as it is free.
TEST(MonitorStart, PortsThatCannotBeUsedAreRetriedAndLoggedOnce)
{
    UpssimProcess sim({"--steady", "com1=ups", "com5=garbage"});
    PosixPortOpener other{PortMap(sim.ports()), ::testing::TempDir()};
    auto held = other.Open(1);  // another program holds COM1
    ASSERT_TRUE(held);
    MonitorProcess monitor({"--ports", sim.ports(), "COM1", "COM2", "COM5"});
    ASSERT_GT(monitor.port(), 0);
    // Retries after 1 s and 2 s have passed.
    std::this_thread::sleep_for(std::chrono::milliseconds(4000));
    const std::string events = monitor.events();
    EXPECT_EQ(Count(events, R"( COM1 unavailable cannot open the port \(absent, busy or not permitted\); retrying\n)"),
              1u)
        << events;
    EXPECT_EQ(Count(events, R"( COM2 unavailable cannot open the port)"), 1u) << events;
    EXPECT_EQ(Count(events, R"( COM5 unavailable no Smart-UPS answers on the port)"), 1u) << events;
    for (const char* port : {"COM1", "COM2", "COM5"})
        EXPECT_NE(monitor.metrics().find(std::string("tornavel_ups_up{port=\"") + port + "\"} 0\n"), std::string::npos);

    held->Close();
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs + 8000)) << monitor.events();
    EXPECT_EQ(Count(monitor.events(), R"( COM5 unavailable )"), 1u);
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0);
}

}  // namespace
}  // namespace tornavel
