// Host protection end to end: the real monitor against simulated units whose
// battery drains in seconds, the root shutdown script with a command that
// records its calls, and the systemd-shutdown hook that tells the unit to
// power off and back. Loopback only; every wait is bounded.
#include <gtest/gtest.h>

#include <crypt.h>
#include <sys/wait.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "monitor_process.h"
#include "serial/posixport.h"
#include "serial/uucplock.h"
#include "test_files.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::Count;
using testing::MonitorProcess;
using testing::ReadFile;
using testing::TempDir;
using testing::UpssimProcess;

// Long enough for a full read and a drained battery on a loaded machine.
constexpr int kConnectMs = 30000;
constexpr int kOutageMs = 60000;

// Runs a program with extra environment, its standard output (and, when
// `output` is given, its errors) going there; its exit status.
int RunWith(const std::vector<std::string>& args, const std::vector<std::string>& environment,
            const std::string& output = "")
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto& e : environment) ::putenv(const_cast<char*>(e.c_str()));
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        const int out = ::open(output.empty() ? "/dev/null" : output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
        ::dup2(out, 1);
        if (!output.empty()) ::dup2(out, 2);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// KEY=VALUE lines of an /etc/default file as systemd's EnvironmentFile=
// reads them: comments and blank lines skipped, one pair of quotes dropped,
// the rest taken as it is (no shell).
std::vector<std::string> SystemdEnvironment(const std::string& path)
{
    std::vector<std::string> environment;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        const auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        std::string value = line.substr(equals + 1);
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        environment.push_back(line.substr(0, equals) + "=" + value);
    }
    return environment;
}

// The last value a unit file gives a directive.
std::string UnitDirective(const std::string& unitPath, const std::string& key)
{
    std::ifstream file(unitPath);
    std::string value;
    for (std::string line; std::getline(file, line);)
        if (line.rfind(key + "=", 0) == 0) value = line.substr(key.size() + 1);
    return value;
}

const std::string kDataDir = std::filesystem::path(SHUTDOWN_SCRIPT).parent_path().string();

// A stand-in for systemctl: records its words and stops the process group
// named in `pidFile`, as systemd stops a service's processes.
void FakeSystemctl(const TempDir& dir, const std::string& pidFile)
{
    std::ofstream(dir / "bin/systemctl") << "#!/bin/sh\necho \"$*\" >> " << dir / "systemctl-calls"
                                         << "\n[ -f " << pidFile << " ] && kill -TERM -$(cat " << pidFile
                                         << ")\nexit 0\n";
    std::filesystem::permissions(dir / "bin/systemctl", std::filesystem::perms::owner_all);
}

std::vector<std::string> ProtectArgs(const UpssimProcess& sim, const std::string& stateDir, const std::string& port)
{
    return {"--ports", sim.ports(), "--state-dir", stateDir, "--protect", port, port};
}

// Three hosts on three units in one outage: one whose battery runs out, one
// in a dry run, one whose mains come back in time; and a follower of the
// first. Exactly one shutdown is decided and recorded, the follower follows,
// a restart keeps the decision without a second, and the root script runs
// the command once.
TEST(HostProtection, AnOutageOutlastingTheBatteryShutsDownOnceAndFollowersFollow)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--drain", "6", "--low-runtime", "2", "com1=ups", "com2=ups", "com4=ups"});
    TempDir dir;
    auto primary = std::make_unique<MonitorProcess>(ProtectArgs(sim, dir / "primary/", "COM1"));
    MonitorProcess dryRun([&] {
        auto args = ProtectArgs(sim, dir / "dry/", "COM4");
        args.insert(args.begin(), "--dry-run");
        return args;
    }());
    MonitorProcess back(ProtectArgs(sim, dir / "back/", "COM2"));
    ASSERT_GT(primary->port(), 0) << primary->errors();
    MonitorProcess follower({"--state-dir", dir / "follower/", "--follow-every", "1", "--follow",
                             "http://127.0.0.1:" + std::to_string(primary->port()) + "/metrics", "--follow-port",
                             "COM1"});
    ASSERT_TRUE(primary->waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 0)", kConnectMs))
        << primary->events();
    ASSERT_TRUE(dryRun.waitForMetric(R"(tornavel_ups_up{port="COM4"} 1)", kConnectMs)) << dryRun.events();
    ASSERT_TRUE(back.waitForMetric(R"(tornavel_ups_up{port="COM2"} 1)", kConnectMs)) << back.events();

    for (const char* port : {"com1", "com2", "com4"}) sim.event(std::string(port) + " mains-fail");
    ASSERT_TRUE(back.waitForEvent("COM2 mains_failure", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(4));
    sim.event("com2 mains-ok");

    ASSERT_TRUE(primary->waitForEvent("COM1 shutdown shutting this host down", kOutageMs)) << primary->events();
    EXPECT_TRUE(primary->waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 1)", 5000));
    const std::string record = ReadFile(dir / "primary/shutdown");
    EXPECT_NE(record.find("port=COM1\n"), std::string::npos) << record;
    EXPECT_NE(record.find("device=" + sim.ports() + "/com1\n"), std::string::npos) << record;
    EXPECT_NE(record.find("serial=QS0512345678\n"), std::string::npos) << record;

    EXPECT_TRUE(follower.waitForEvent("COM1 shutdown .*primary monitor has decided", 15000)) << follower.events();
    EXPECT_TRUE(std::filesystem::exists(dir / "follower/shutdown"));
    EXPECT_EQ(ReadFile(dir / "follower/shutdown").find("device=\n") != std::string::npos, true);

    EXPECT_TRUE(dryRun.waitForEvent("COM4 shutdown_dry_run would shut this host down", kOutageMs)) << dryRun.events();
    EXPECT_FALSE(std::filesystem::exists(dir / "dry/shutdown"));
    EXPECT_EQ(Count(dryRun.events(), "COM4 shutdown "), 0u);
    EXPECT_TRUE(dryRun.waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM4"} 0)", 5000));

    // By now the others' batteries ran out; the one whose mains came back is fine.
    EXPECT_EQ(Count(back.events(), "COM2 shutdown"), 0u) << back.events();
    EXPECT_FALSE(std::filesystem::exists(dir / "back/shutdown"));

    // The service restarts during the outage: the decision stands, once.
    primary.reset();
    MonitorProcess restarted(ProtectArgs(sim, dir / "primary/", "COM1"));
    EXPECT_TRUE(restarted.waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 1)", kConnectMs));
    EXPECT_TRUE(restarted.waitForEvent("COM1 shutdown_pending", 5000)) << restarted.events();
    std::this_thread::sleep_for(std::chrono::seconds(6));
    EXPECT_EQ(Count(restarted.events(), "COM1 shutdown "), 0u) << restarted.events();

    // The root side: the command runs once, however often the path unit
    // fires, with the /etc/default file read as systemd reads it: ARGS
    // unquoted, as systemd takes it, is no shell.
    const std::string calls = dir / "calls";
    std::ofstream(dir / "poweroff") << "#!/bin/sh\necho \"poweroff $*\" >> " << calls << "\n";
    std::filesystem::permissions(dir / "poweroff", std::filesystem::perms::owner_all);
    std::ofstream(dir / "defaults") << "ARGS=--protect COM1 COM1\nSHUTDOWN_COMMAND=\"" << dir / "poweroff"
                                    << " now\"\nSHUTDOWN_DELAY=0\n";
    auto environment = SystemdEnvironment(dir / "defaults");
    environment.insert(environment.end(), {"TORNAVEL_STATE_DIR=" + dir / "primary", "TORNAVEL_RUN_DIR=" + dir / "run"});
    for (int start = 0; start < 2; ++start)
        EXPECT_EQ(RunWith({"/bin/sh", SHUTDOWN_SCRIPT}, environment, dir / "script.out"), 0)
            << ReadFile(dir / "script.out");
    EXPECT_EQ(ReadFile(calls), "poweroff now\n");
    EXPECT_EQ(ReadFile(dir / "run/kill-power"), sim.ports() + "/com1\nQS0512345678\n");
}

// The root service takes SHUTDOWN_COMMAND and SHUTDOWN_DELAY from the same
// file, read the same way, as the monitor's service takes its ARGS.
TEST(HostProtection, TheShutdownServiceReadsTheDefaultsFileAsTheMonitorsDoes)
{
    const std::string monitors = UnitDirective(kDataDir + "/tornavel-monitor.service", "EnvironmentFile");
    EXPECT_NE(monitors, "");
    EXPECT_EQ(UnitDirective(kDataDir + "/tornavel-shutdown.service.in", "EnvironmentFile"), monitors);
}

// Waits for a child to end; its wait status, or -1 after the patience.
int WaitChild(pid_t pid, int patienceMs)
{
    for (int waited = 0; waited < patienceMs; waited += 50) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return -1;
}

// A cancel during the wait: the monitor withdraws its decision (its metric
// and its events say so); the root script, stopped, had armed nothing and
// never runs the command; and nothing is decided again on this outage, not
// even after a restart of the monitor, until the mains are back.
TEST(HostProtection, ACancelDuringTheWaitLeavesNothingArmedAndHoldsUntilTheMainsReturn)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--drain", "6", "--low-runtime", "2", "com1=ups"});
    TempDir dir;
    auto args = ProtectArgs(sim, dir / "state/", "COM1");
    args.insert(args.begin(), {"--control-socket", dir / "control"});
    auto monitor = std::make_unique<MonitorProcess>(args);
    ASSERT_TRUE(monitor->waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 0)", kConnectMs))
        << monitor->events();
    // A follower that keeps reading holds the script in its wait.
    MonitorProcess follower({"--state-dir", dir / "follower/", "--follow-every", "1", "--follow",
                             "http://127.0.0.1:" + std::to_string(monitor->port()) + "/metrics", "--follow-port",
                             "COM1"});
    sim.event("com1 mains-fail");
    ASSERT_TRUE(monitor->waitForEvent("COM1 shutdown shutting this host down", kOutageMs)) << monitor->events();

    // The script as the path unit starts it, in a process group of its own
    // for the stand-in systemctl to stop.
    std::ofstream(dir / "poweroff") << "#!/bin/sh\necho poweroff >> " << dir / "calls"
                                    << "\n";
    std::filesystem::permissions(dir / "poweroff", std::filesystem::perms::owner_all);
    FakeSystemctl(dir, dir / "script.pid");
    const int out = ::open((dir / "script.out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t script = testing::Spawn({"/usr/bin/setsid", "/usr/bin/env", "TORNAVEL_STATE_DIR=" + dir / "state",
                                         "TORNAVEL_RUN_DIR=" + dir / "run", "SHUTDOWN_COMMAND=" + dir / "poweroff",
                                         "SHUTDOWN_DELAY=600", "/bin/sh", SHUTDOWN_SCRIPT},
                                        -1, out, out);
    ::close(out);
    std::ofstream(dir / "script.pid") << script << "\n";
    ASSERT_TRUE(MonitorProcess::waitUntil(
        [&] { return ReadFile(dir / "script.out").find("in at most 600 s") != std::string::npos; }, 30000))
        << ReadFile(dir / "script.out");
    EXPECT_TRUE(std::filesystem::exists(dir / "run/shutdown-started"));
    EXPECT_FALSE(std::filesystem::exists(dir / "run/kill-power"));  // not during the wait

    EXPECT_EQ(RunWith({CTL_PATH, "--socket", dir / "control", "cancel-shutdown"},
                      {"PATH=" + (dir.path() / "bin").string() + ":/usr/bin:/bin",
                       "TORNAVEL_STATE_DIR=" + dir / "state", "TORNAVEL_RUN_DIR=" + dir / "run"},
                      dir / "ctl.out"),
              0)
        << ReadFile(dir / "ctl.out");
    EXPECT_NE(ReadFile(dir / "ctl.out").find("COM1: shutdown decision withdrawn"), std::string::npos)
        << ReadFile(dir / "ctl.out");
    const int status = WaitChild(script, 30000);
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(ReadFile(dir / "systemctl-calls"), "stop tornavel-shutdown.service\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "calls"));
    EXPECT_FALSE(std::filesystem::exists(dir / "run/kill-power"));
    EXPECT_FALSE(std::filesystem::exists(dir / "run/shutdown-started"));
    EXPECT_FALSE(std::filesystem::exists(dir / "state/shutdown"));
    EXPECT_TRUE(monitor->waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 0)", 5000));
    EXPECT_TRUE(monitor->waitForEvent("COM1 shutdown_cancelled the shutdown decision was withdrawn", 5000))
        << monitor->events();

    // On battery with the battery flat: nothing decided, across a restart.
    monitor.reset();
    MonitorProcess restarted(args);
    ASSERT_TRUE(restarted.waitForMetric(R"(tornavel_ups_status{port="COM1",flag="on_battery"} 1)", kConnectMs))
        << restarted.events();
    EXPECT_TRUE(restarted.waitForEvent("COM1 shutdown_cancelled a shutdown cancelled earlier", 1000))
        << restarted.events();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    EXPECT_EQ(Count(restarted.events(), "COM1 shutdown "), 0u) << restarted.events();
    EXPECT_FALSE(std::filesystem::exists(dir / "state/shutdown"));
    EXPECT_TRUE(restarted.waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 0)", 5000));

    sim.event("com1 mains-ok");
    EXPECT_TRUE(restarted.waitForEvent("COM1 protection_resumed", 20000)) << restarted.events();
    EXPECT_FALSE(std::filesystem::exists(dir / "state/cancelled"));
}

// On battery on purpose with a battery said to be low: a calibration (its
// status bit) on COM1, a self-test (a transfer without "!") on COM2. Neither
// decides while the unit's mains are fine; the unit's "!" (the mains did
// fail) makes both an outage.
TEST(HostProtection, OnBatteryOnPurposeDecidesNothingUntilTheMainsFail)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups"});
    TempDir dir;
    MonitorProcess calibrating(ProtectArgs(sim, dir / "calibrating/", "COM1"));
    MonitorProcess testing(ProtectArgs(sim, dir / "testing/", "COM2"));
    ASSERT_TRUE(calibrating.waitForMetric(R"(tornavel_ups_status_byte{port="COM1"} 8)", kConnectMs))
        << calibrating.events();
    ASSERT_TRUE(testing.waitForMetric(R"(tornavel_ups_status_byte{port="COM2"} 8)", kConnectMs)) << testing.events();
    // A monitoring cycle read the status on line after the full read: the
    // transfer is seen between two cycles.
    for (const char* port : {"com1", "com2"})
        ASSERT_TRUE(MonitorProcess::waitUntil([&] { return Count(sim.received(port), "Q") >= 3; }, kConnectMs));
    sim.event("com1 set Q 51");  // calibrating, on battery, battery low
    sim.event("com2 set Q 50");  // on battery, battery low
    ASSERT_TRUE(calibrating.waitForMetric(R"(tornavel_ups_status_byte{port="COM1"} 81)", 10000));
    ASSERT_TRUE(testing.waitForMetric(R"(tornavel_ups_status_byte{port="COM2"} 80)", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(8));  // a few cycles, each of which would decide
    EXPECT_EQ(Count(calibrating.events(), "COM1 shutdown"), 0u) << calibrating.events();
    EXPECT_EQ(Count(testing.events(), "COM2 shutdown"), 0u) << testing.events();

    sim.event("com1 mains-fail");
    sim.event("com2 mains-fail");
    EXPECT_TRUE(calibrating.waitForEvent("COM1 shutdown shutting this host down: battery low", 20000))
        << calibrating.events();
    EXPECT_TRUE(testing.waitForEvent("COM2 shutdown shutting this host down: battery low", 20000)) << testing.events();
}

// The root script of one host, started as the path unit starts it, with a
// long limit: its output and the file its command touches.
pid_t StartScript(const TempDir& dir, const std::string& host)
{
    std::ofstream(dir / (host + ".poweroff")) << "#!/bin/sh\necho poweroff >> " << dir / (host + ".calls") << "\n";
    std::filesystem::permissions(dir / (host + ".poweroff"), std::filesystem::perms::owner_all);
    const int out = ::open((dir / (host + ".out")).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t script = testing::Spawn(
        {"/usr/bin/env", "TORNAVEL_STATE_DIR=" + dir / host, "TORNAVEL_RUN_DIR=" + dir / (host + "-run/"),
         "SHUTDOWN_COMMAND=" + dir / (host + ".poweroff"), "SHUTDOWN_DELAY=600", "/bin/sh", SHUTDOWN_SCRIPT},
        -1, out, out);
    ::close(out);
    return script;
}

// Followers go first: in an outage, a follower powers off as soon as it
// sees the primary's decision, while the primary's root script waits for
// as long as the follower still reads it, and goes once it has stopped (its
// monitor ends as its host shuts down), far within the limit.
TEST(HostProtection, AFollowerGoesAtOnceAndThePrimaryWaitsUntilItHasStopped)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--drain", "6", "--low-runtime", "2", "com1=ups"});
    TempDir dir;
    MonitorProcess primary(ProtectArgs(sim, dir / "primary/", "COM1"));
    ASSERT_GT(primary.port(), 0) << primary.errors();
    auto follower = std::make_unique<MonitorProcess>(std::vector<std::string>{
        "--state-dir", dir / "follower/", "--follow-every", "1", "--follow",
        "http://127.0.0.1:" + std::to_string(primary.port()) + "/metrics", "--follow-port", "COM1"});
    ASSERT_TRUE(primary.waitForMetric(R"(tornavel_ups_shutdown_pending{port="COM1"} 0)", kConnectMs))
        << primary.events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(primary.waitForEvent("COM1 shutdown shutting this host down", kOutageMs)) << primary.events();
    ASSERT_TRUE(follower->waitForEvent("COM1 shutdown .*primary monitor has decided", 15000)) << follower->events();

    const pid_t followerScript = StartScript(dir, "follower");
    const pid_t primaryScript = StartScript(dir, "primary");
    EXPECT_EQ(WaitChild(followerScript, 60000), 0) << ReadFile(dir / "follower.out");
    EXPECT_EQ(ReadFile(dir / "follower.calls"), "poweroff\n");
    EXPECT_TRUE(primary.waitForEvent("followers_waited_for .*http:", 10000)) << primary.events();
    EXPECT_FALSE(std::filesystem::exists(dir / "primary.calls")) << ReadFile(dir / "primary.out");

    follower.reset();  // the follower's host shuts down: its monitor stops
    EXPECT_EQ(WaitChild(primaryScript, 60000), 0) << ReadFile(dir / "primary.out");
    EXPECT_EQ(ReadFile(dir / "primary.calls"), "poweroff\n");
    EXPECT_TRUE(primary.waitForEvent("followers_done", 5000)) << primary.events();
}

// With no monitor running, the cancel withdraws the decision file itself (a
// monitor started later reads it as cancelled) and still stops and disarms.
TEST(HostProtection, ACancelWithoutARunningMonitorWithdrawsTheDecisionFile)
{
    TempDir dir;
    std::ofstream(dir / "state/shutdown") << "boot_id=b\nport=COM1\ndevice=/dev/ttyS0\nserial=X\nreason=x\n";
    std::ofstream(dir / "run/kill-power") << "/dev/ttyS0\nX\n";
    std::filesystem::create_directory(dir / "run/shutdown-started");
    FakeSystemctl(dir, dir / "no-such.pid");
    EXPECT_EQ(RunWith({CTL_PATH, "--socket", dir / "no-monitor", "cancel-shutdown"},
                      {"PATH=" + (dir.path() / "bin").string() + ":/usr/bin:/bin",
                       "TORNAVEL_STATE_DIR=" + dir / "state", "TORNAVEL_RUN_DIR=" + dir / "run"},
                      dir / "ctl.out"),
              0)
        << ReadFile(dir / "ctl.out");
    EXPECT_FALSE(std::filesystem::exists(dir / "state/shutdown"));
    EXPECT_NE(ReadFile(dir / "state/cancelled").find("port=COM1"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "systemctl-calls"), "stop tornavel-shutdown.service\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "run/kill-power"));
    EXPECT_FALSE(std::filesystem::exists(dir / "run/shutdown-started"));
}

// A cancel is a command like the others: a wrong command line (a word too
// many, an option of another command) does nothing at all, and --json gives
// one JSON object whatever happens.
TEST(HostProtection, ACancelWithAWrongCommandLineDoesNothingAndJsonSaysWhatWasDone)
{
    struct Case {
        const char* what;
        std::vector<std::string> args;  // after the program
        int status;
        bool withdrawn;      // the decision file was withdrawn and the service stopped
        const char* output;  // a pattern the output holds
    };
    const std::vector<Case> cases = {
        {"a word too many", {"cancel-shutdown", "COM1"}, 2, false, "wrong number of arguments for cancel-shutdown"},
        {"an option of apply", {"cancel-shutdown", "--dry-run"}, 2, false, "--dry-run belongs to apply"},
        {"json",
         {"--json", "cancel-shutdown"},
         0,
         true,
         R"(^\{"version": 1, "command": "cancel-shutdown", "withdrawn": \[\], "report": \["tornavel-monitor is not )"
         R"(running: its decision in .* is withdrawn", "the unit's power-off at the end of a shutdown is disarmed"\], )"
         R"("ok": true, "exit": 0, "error": null\}\n$)"},
        {"json and a wrong command line",
         {"--json", "cancel-shutdown", "now"},
         2,
         false,
         R"((^|\n)\{"version": 1, "command": "cancel-shutdown", "error": "wrong number of arguments for )"
         R"(cancel-shutdown", "ok": false, "exit": 2\}\n$)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir dir;
        std::ofstream(dir / "state/shutdown") << "boot_id=b\nport=COM1\ndevice=/dev/ttyS0\nserial=X\nreason=x\n";
        std::ofstream(dir / "run/kill-power") << "/dev/ttyS0\nX\n";
        FakeSystemctl(dir, dir / "no-such.pid");
        std::vector<std::string> args = {CTL_PATH, "--socket", dir / "no-monitor"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const int status = RunWith(args,
                                   {"PATH=" + (dir.path() / "bin").string() + ":/usr/bin:/bin",
                                    "TORNAVEL_STATE_DIR=" + dir / "state", "TORNAVEL_RUN_DIR=" + dir / "run"},
                                   dir / "ctl.out");
        const std::string output = ReadFile(dir / "ctl.out");
        EXPECT_EQ(status, c.status) << output;
        EXPECT_TRUE(std::regex_search(output, std::regex(c.output))) << output;
        EXPECT_EQ(std::filesystem::exists(dir / "state/shutdown"), !c.withdrawn);
        EXPECT_EQ(std::filesystem::exists(dir / "run/kill-power"), !c.withdrawn);
        EXPECT_EQ(ReadFile(dir / "systemctl-calls"), c.withdrawn ? "stop tornavel-shutdown.service\n" : "");
    }
}

// A decision the script cannot place in this boot is never carried out nor
// dropped in silence: removed (the path unit must not start the script
// again), the reason logged, the unit failed.
TEST(HostProtection, ADecisionNotOfThisBootIsRemovedWithItsReasonAndAFailure)
{
    struct Case {
        const char* what;
        const char* decidedIn;
        const char* thisBoot;  // nullptr: cannot be read
        const char* reason;
    };
    for (const Case& c :
         {Case{"an earlier boot", "an-earlier-boot", "this-boot", "taken in an earlier boot (an-earlier-boot)"},
          Case{"no boot", "", "this-boot", "it names no boot"},
          Case{"this boot unknown", "this-boot", nullptr, "cannot read this boot's id"}}) {
        TempDir dir;
        std::ofstream(dir / "state/shutdown")
            << "boot_id=" << c.decidedIn << "\nport=COM1\ndevice=/dev/ttyS0\nreason=x\n";
        if (c.thisBoot) std::ofstream(dir / "boot_id") << c.thisBoot << "\n";
        std::ofstream(dir / "defaults") << "SHUTDOWN_COMMAND=\"touch " << dir / "called"
                                        << "\"\nSHUTDOWN_DELAY=0\n";
        EXPECT_EQ(RunWith({"/bin/sh", SHUTDOWN_SCRIPT},
                          {"TORNAVEL_STATE_DIR=" + dir / "state", "TORNAVEL_RUN_DIR=" + dir / "run",
                           "TORNAVEL_DEFAULTS=" + dir / "defaults", "TORNAVEL_BOOT_ID_FILE=" + dir / "boot_id"},
                          dir / "output"),
                  1)
            << c.what;
        EXPECT_NE(ReadFile(dir / "output").find(c.reason), std::string::npos)
            << c.what << ": " << ReadFile(dir / "output");
        EXPECT_FALSE(std::filesystem::exists(dir / "called")) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "state/shutdown")) << c.what;
        EXPECT_FALSE(std::filesystem::exists(dir / "run/kill-power")) << c.what;
    }
}

// A unit that falls silent: on battery the worst is assumed after the
// link-lost time; on line nothing happens.
TEST(HostProtection, ALinkLostOnBatteryShutsDownAndOnLineDoesNot)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups", "com2=ups"});
    TempDir dir;
    auto args = [&](const std::string& state, const std::string& port) {
        auto a = ProtectArgs(sim, dir / state, port);
        a.insert(a.begin(), {"--link-lost", "5"});
        return a;
    };
    MonitorProcess onBattery(args("battery/", "COM1"));
    MonitorProcess onLine(args("line/", "COM2"));
    ASSERT_TRUE(onBattery.waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << onBattery.events();
    ASSERT_TRUE(onLine.waitForMetric(R"(tornavel_ups_up{port="COM2"} 1)", kConnectMs)) << onLine.events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(onBattery.waitForMetric(R"(tornavel_ups_status{port="COM1",flag="on_battery"} 1)", 10000));
    sim.event("com1 silent on");
    sim.event("com2 silent on");
    EXPECT_TRUE(onBattery.waitForEvent("COM1 shutdown shutting this host down: no valid reading for", 20000))
        << onBattery.events();
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_EQ(Count(onLine.events(), "COM2 shutdown"), 0u) << onLine.events();
}

// The service restarts during an outage and the unit stays silent: the
// restarted monitor remembers that it was on battery and assumes the worst
// once the link-lost time has passed.
TEST(HostProtection, ARestartDuringAnOutageWithTheUnitSilentDecidesAfterTheLinkLostTime)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    auto args = ProtectArgs(sim, dir / "state/", "COM1");
    args.insert(args.begin(), {"--link-lost", "5"});
    auto monitor = std::make_unique<MonitorProcess>(args);
    ASSERT_TRUE(monitor->waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << monitor->events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(monitor->waitForMetric(R"(tornavel_ups_status{port="COM1",flag="on_battery"} 1)", 10000));
    ASSERT_TRUE(MonitorProcess::waitUntil([&] { return std::filesystem::exists(dir / "state/outage-COM1"); }, 10000));
    sim.event("com1 silent on");
    monitor.reset();
    MonitorProcess restarted(args);
    EXPECT_TRUE(restarted.waitForEvent("COM1 outage_resumed", 5000)) << restarted.events();
    EXPECT_TRUE(restarted.waitForEvent("COM1 shutdown shutting this host down: no valid reading for", 30000))
        << restarted.events();
}

// A follower whose primary vanishes while the unit is on battery assumes
// the worst once the link-lost time has passed.
TEST(HostProtection, AFollowerWhosePrimaryVanishesOnBatteryShutsDown)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    auto primary = std::make_unique<MonitorProcess>(std::vector<std::string>{"--ports", sim.ports(), "COM1"});
    ASSERT_GT(primary->port(), 0) << primary->errors();
    MonitorProcess follower({"--state-dir", dir / "follower/", "--link-lost", "5", "--follow-every", "1", "--follow",
                             "http://127.0.0.1:" + std::to_string(primary->port()) + "/metrics", "--follow-port",
                             "COM1"});
    ASSERT_TRUE(primary->waitForMetric(R"(tornavel_ups_up{port="COM1"} 1)", kConnectMs)) << primary->events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(primary->waitForMetric(R"(tornavel_ups_status{port="COM1",flag="on_battery"} 1)", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(3));  // the follower reads it
    primary.reset();
    EXPECT_TRUE(follower.waitForEvent("COM1 shutdown shutting this host down: no valid reading for", 20000))
        << follower.events();
    EXPECT_TRUE(std::filesystem::exists(dir / "follower/shutdown"));
}

// A self-signed certificate for 127.0.0.1 and its key, in `dir`.
void MakeCertificate(const TempDir& dir, const std::string& name)
{
    ASSERT_EQ(RunWith({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                       "-nodes", "-keyout", dir / (name + ".key"), "-out", dir / (name + ".pem"), "-days", "2", "-subj",
                       "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1"},
                      {}),
              0);
}

// Over https the follower reads only a primary whose certificate chains to
// the CA it was given, with the password the primary asks for: one with both
// follows the unit to the end; one with another CA, and one with a wrong
// password, never get a reading and decide nothing.
TEST(HostProtection, AFollowerOverHttpsTrustsOnlyItsPrimarysCertificateAndPassword)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    MakeCertificate(dir, "primary");
    MakeCertificate(dir, "stranger");
    std::ofstream(dir / "web.yml") << "tls_server_config:\n  cert_file: " << dir / "primary.pem"
                                   << "\n  key_file: " << dir / "primary.key"
                                   << "\nbasic_auth_users:\n  follower: "
                                   << ::crypt("s3cret", ::crypt_gensalt("$2b$", 4, nullptr, 0)) << "\n";
    std::ofstream(dir / "auth") << "follower:s3cret\n";
    std::ofstream(dir / "wrong-auth") << "follower:s3cre\n";
    auto primary = std::make_unique<MonitorProcess>(
        std::vector<std::string>{"--web-config", dir / "web.yml", "--ports", sim.ports(), "COM1"});
    ASSERT_GT(primary->port(), 0) << primary->errors();
    const std::string url = "https://127.0.0.1:" + std::to_string(primary->port()) + "/metrics";
    auto follow = [&](const std::string& state, const std::string& ca, const std::string& auth) {
        return std::vector<std::string>{"--state-dir",   dir / state, "--link-lost",   "5",    "--follow-every", "1",
                                        "--follow",      url,         "--follow-port", "COM1", "--follow-ca",    ca,
                                        "--follow-auth", auth};
    };
    MonitorProcess trusting(follow("trusting/", dir / "primary.pem", dir / "auth"));
    MonitorProcess misled(follow("misled/", dir / "stranger.pem", dir / "auth"));
    MonitorProcess refused(follow("refused/", dir / "primary.pem", dir / "wrong-auth"));
    ASSERT_TRUE(primary->waitForEvent("COM1 connected", kConnectMs)) << primary->events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(primary->waitForEvent("COM1 mains_failure", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(5));  // a cycle on battery, read by the followers
    primary.reset();
    EXPECT_TRUE(trusting.waitForEvent("COM1 shutdown shutting this host down: no valid reading", 20000))
        << trusting.events();
    for (MonitorProcess* unread : {&misled, &refused}) {
        EXPECT_TRUE(unread->waitForEvent("COM1 primary_unreadable", 1000)) << unread->events();
        EXPECT_EQ(Count(unread->events(), "COM1 shutdown"), 0u) << unread->events();
    }
}

TEST(HostProtection, AStateDirectoryThatCannotBeWrittenIsRefusedAtStart)
{
    MonitorProcess monitor({"--state-dir", "/nonexistent/tornavel", "--protect", "COM1", "COM1"});
    EXPECT_EQ(monitor.wait(5000), 1);
    EXPECT_NE(monitor.errors().find("cannot write the state directory /nonexistent/tornavel"), std::string::npos)
        << monitor.errors();
}

// The hook systemd-shutdown runs: only a power-off or halt that our shutdown
// armed sends the unit "@001", and only after "Y" was answered "SM" and "n"
// the serial number the decision names (an adapter may have come back under
// another name, another unit behind it). A UUCP lock naming a live process,
// which anyone can leave in /run/lock, does not stop it.
TEST(HostProtection, TheKillPowerHookActsOnlyOnAnArmedPowerOffOfTheUnitTheDecisionNames)
{
    UpssimProcess sim({"--steady", "--grace", "1", "com1=ups", "com2=ups2", "com3=silent"});
    TempDir dir;
    const std::string lock = std::string(kUucpLockDir) + "/" +
                             UucpLockName(std::filesystem::canonical(sim.port("com1")).string());
    // Our pseudo-terminal is ours alone: a lock file of its name is stale.
    std::ofstream(lock) << "         1\n";  // PID 1: alive, and no serial program
    const std::vector<std::string> environment = {"TORNAVEL_RUN_DIR=" + dir / "run",
                                                  std::string("TORNAVEL_KILL_POWER=") + KILL_POWER_PATH};
    struct Case {
        const char* verb;
        const char* port;    // nullptr: not armed
        const char* serial;  // the decision's
        const char* sent;
        int status;
    };
    for (const Case& c :
         {Case{"reboot", "com1", "QS0512345678", "", 0}, Case{"kexec", "com1", "QS0512345678", "", 0},
          Case{"poweroff", nullptr, "", "", 0}, Case{"poweroff", "com1", "NS9907654321", "Yn", 1},
          Case{"poweroff", "com2", "QS0512345678", "Yn", 1}, Case{"poweroff", "com1", "", "", 1},
          Case{"poweroff", "com3", "QS0512345678", "Y", 1}, Case{"halt", "com1", "QS0512345678", "Yn@001", 0},
          Case{"poweroff", "com2", "NS9907654321", "Yn@001", 0}}) {
        std::filesystem::remove_all(dir / "run");
        if (c.port) std::ofstream(dir / "run/kill-power") << sim.port(c.port) << "\n" << c.serial << "\n";
        const std::string port = c.port ? c.port : "com1";
        const std::string what = std::string(c.verb) + " " + port + " " + c.serial;
        const auto before = sim.received(port).size();
        EXPECT_EQ(RunWith({"/bin/sh", KILL_POWER_HOOK, c.verb}, environment, dir / "hook.out"), c.status) << what;
        EXPECT_EQ(sim.received(port).substr(before), c.sent) << what << ": " << ReadFile(dir / "hook.out");
    }
    std::filesystem::remove(lock);
    EXPECT_TRUE(sim.waitForLog("output off"));
}

}  // namespace
}  // namespace tornavel
