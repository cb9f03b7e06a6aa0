// tornavel-monitor as a server of the UPS network protocol (RFC 9271),
// against the simulator, read by our own client: every command and its
// errors, a unit whose name holds quotes, backslashes and spaces, a silent and
// a vanished unit, slow, garbage and over-long lines, the limits, STARTTLS.
// Loopback only; every wait is bounded.
#include <gtest/gtest.h>

#include <crypt.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

#include "certificates.h"
#include "monitor_process.h"
#include "test_files.h"
#include "upsnet_client.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::MonitorProcess;
using testing::TempDir;
using testing::UpsClient;
using testing::UpssimProcess;

constexpr int kConnectMs = 30000;  // a full read on a loaded machine: a bound, not a measure
const std::string kPassword = "s3cret";

// The server's port, from the monitor's start line.
int UpsPort(MonitorProcess& monitor)
{
    if (!monitor.waitForEvent(R"(ups://127\.0\.0\.1:\d+)", 10000)) return 0;
    std::smatch match;
    const std::string events = monitor.events();
    std::regex_search(events, match, std::regex(R"(ups://127\.0\.0\.1:(\d+))"));
    return std::stoi(match[1]);
}

// A users file with one follower.
std::string Users(const TempDir& dir)
{
    std::ofstream(dir / "users") << "# followers\nfollower:"
                                 << ::crypt(kPassword.c_str(), ::crypt_gensalt("$2b$", 4, nullptr, 0)) << "\n";
    return dir / "users";
}

// The value a VAR line carries, unquoted (our names need no escapes there).
std::string ValueOf(const std::string& line)
{
    const auto open = line.rfind(" \"");
    if (open == std::string::npos || line.back() != '"') return "";
    return line.substr(open + 2, line.size() - open - 3);
}

bool WaitForAnswer(UpsClient& client, const std::string& line, const std::string& expected, int patienceMs)
{
    return MonitorProcess::waitUntil([&] { return client.AskOne(line) == expected; }, patienceMs);
}

// The main path: a unit named by a device path with quotes, a backslash and
// spaces, a silent port, and every command a read-only server answers.
TEST(UpsNetwork, EveryCommandAgainstTheSimulator)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups", "com3=silent"});
    TempDir dir;
    const std::string odd = dir / "rack \"A\" \\ left";
    std::filesystem::create_symlink(sim.port("com1"), odd);
    MonitorProcess monitor(
        {"--ports", sim.ports(), "--ups-listen", "127.0.0.1:0", "--ups-users", Users(dir), odd, "COM3"});
    const int port = UpsPort(monitor);
    ASSERT_GT(port, 0) << monitor.events() << monitor.errors();
    ASSERT_TRUE(monitor.waitForEvent("connected", kConnectMs)) << monitor.events();
    std::string word = "\"";
    for (const char c : odd) word += (c == '"' || c == '\\') ? std::string("\\") + c : std::string(1, c);
    word += "\"";

    UpsClient client(port);
    ASSERT_TRUE(client.connected());
    EXPECT_EQ(client.AskOne("VER").rfind("Tornavel monitor ", 0), 0u);
    EXPECT_EQ(client.AskOne("PROTVER"), "1.3");
    EXPECT_EQ(client.AskOne("NETVER"), "1.3");
    EXPECT_NE(client.AskOne("HELP").find("ATTACH"), std::string::npos);
    EXPECT_EQ(client.Ask("LIST UPS"),
              (std::vector<std::string>{"BEGIN LIST UPS", "UPS " + word + " \"Smart-UPS 1000, serial QS0512345678\"",
                                        "UPS COM3 \"unit on COM3, not identified yet\"", "END LIST UPS"}));
    ASSERT_TRUE(WaitForAnswer(client, "GET VAR " + word + " ups.status", "VAR " + word + " ups.status \"OL\"", 10000));

    // Every value listed is the one GET VAR gives, and matches /metrics.
    const auto list = client.Ask("LIST VAR " + word);
    ASSERT_GE(list.size(), 10u);
    EXPECT_EQ(list.front(), "BEGIN LIST VAR " + word);
    EXPECT_EQ(list.back(), "END LIST VAR " + word);
    for (std::size_t i = 1; i + 1 < list.size(); ++i) {
        const std::string name = list[i].substr(("VAR " + word + " ").size(),
                                                list[i].find(" \"", 5 + word.size()) - 5 - word.size());
        if (name == "ups.load" || name == "battery.voltage" || name == "ups.temperature") continue;  // read in rotation
        EXPECT_EQ(client.AskOne("GET VAR " + word + " " + name), list[i]);
    }
    const std::string metrics = monitor.metrics();
    for (const auto& [variable, metric] :
         std::vector<std::pair<std::string, std::string>>{{"input.voltage", "tornavel_ups_input_volts"},
                                                          {"battery.runtime", "tornavel_ups_runtime_seconds"},
                                                          {"output.voltage", "tornavel_ups_output_volts"}}) {
        const std::string value = ValueOf(client.AskOne("GET VAR " + word + " " + variable));
        const std::regex series(metric + R"(\{port="[^"]*rack[^}]*\} ([0-9.]+))");
        std::smatch found;
        ASSERT_TRUE(std::regex_search(metrics, found, series)) << metric;
        EXPECT_DOUBLE_EQ(std::stod(value), std::stod(found[1])) << variable;
    }
    EXPECT_EQ(client.AskOne("GET VAR " + word + " battery.charge"), "VAR " + word + " battery.charge \"100\"");
    EXPECT_EQ(client.AskOne("GET TYPE " + word + " input.voltage"), "TYPE " + word + " input.voltage NUMBER");
    EXPECT_EQ(client.AskOne("GET DESC " + word + " input.voltage"),
              "DESC " + word + " input.voltage \"Input voltage (V)\"");
    EXPECT_EQ(client.AskOne("GET UPSDESC COM3"), "UPSDESC COM3 \"unit on COM3, not identified yet\"");

    // The errors.
    for (const auto& [line, answer] : std::vector<std::pair<std::string, std::string>>{
             {"GET VAR COM3 ups.status", "ERR DRIVER-NOT-CONNECTED"},
             {"LIST VAR COM3", "ERR DRIVER-NOT-CONNECTED"},
             {"GET VAR COM2 ups.status", "ERR UNKNOWN-UPS"},
             {"GET VAR \"rack\" ups.status", "ERR UNKNOWN-UPS"},
             {"GET VAR " + word + " ups.beeper.status", "ERR VAR-NOT-SUPPORTED"},
             {"GET CMDDESC " + word + " beeper.on", "ERR CMD-NOT-SUPPORTED"},
             {"SET VAR " + word + " input.transfer.low 200", "ERR READONLY"},
             {"INSTCMD " + word + " shutdown.return", "ERR CMD-NOT-SUPPORTED"},
             {"FSD " + word, "ERR ACCESS-DENIED"},
             {"PRIMARY " + word, "ERR ACCESS-DENIED"},
             {"MASTER " + word, "ERR ACCESS-DENIED"},
             {"STARTTLS", "ERR FEATURE-NOT-CONFIGURED"},
             {"ATTACH " + word, "ERR USERNAME-REQUIRED"},
             {"TELL ME", "ERR UNKNOWN-COMMAND"},
             {"GET VAR \"open", "ERR INVALID-ARGUMENT"},
             {"LIST FOO " + word, "ERR INVALID-ARGUMENT"}})
        EXPECT_EQ(client.AskOne(line), answer) << line;
    EXPECT_EQ(client.Ask("LIST RW " + word),
              (std::vector<std::string>{"BEGIN LIST RW " + word, "END LIST RW " + word}));
    EXPECT_EQ(client.Ask("LIST CMD " + word),
              (std::vector<std::string>{"BEGIN LIST CMD " + word, "END LIST CMD " + word}));

    // A follower attaches; LIST CLIENT and the metric show it until it leaves.
    UpsClient follower(port);
    EXPECT_EQ(follower.AskOne("USERNAME follower"), "OK");
    EXPECT_EQ(follower.AskOne("PASSWORD " + kPassword), "OK");
    EXPECT_EQ(follower.AskOne("LOGIN " + word), "OK");
    EXPECT_EQ(follower.AskOne("LOGIN " + word), "ERR ALREADY-LOGGED-IN");
    EXPECT_EQ(client.AskOne("GET NUMLOGINS " + word), "NUMLOGINS " + word + " 1");
    EXPECT_EQ(client.AskOne("GET NUMATTACH " + word), "NUMATTACH " + word + " 1");
    EXPECT_EQ(client.Ask("LIST CLIENT " + word),
              (std::vector<std::string>{"BEGIN LIST CLIENT " + word, "CLIENT " + word + " 127.0.0.1",
                                        "END LIST CLIENT " + word}));
    EXPECT_NE(monitor.metrics().find(R"(,address="127.0.0.1",user="follower"} 1)"), std::string::npos);
    EXPECT_EQ(follower.AskOne("LOGOUT"), "OK Goodbye");
    EXPECT_TRUE(follower.ClosedBy(5000));
    EXPECT_TRUE(WaitForAnswer(client, "GET NUMATTACH " + word, "NUMATTACH " + word + " 0", 5000));
    EXPECT_TRUE(std::regex_search(monitor.metrics(),
                                  std::regex(R"(\ntornavel_ups_attached_followers\{port="[^\n]*rack[^\n]*\} 0\n)")));
}

// Without an allowed address only a follower with the right password reads;
// one that gives a wrong password reads nothing, and nothing lets a client
// act on a unit.
TEST(UpsNetwork, ReadsFromOtherAddressesNeedALogin)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    MonitorProcess monitor({"--ports", sim.ports(), "--ups-listen", "127.0.0.1:0", "--ups-allow", "192.0.2.0/24",
                            "--ups-users", Users(dir), "COM1"});
    const int port = UpsPort(monitor);
    ASSERT_GT(port, 0) << monitor.errors();
    ASSERT_TRUE(monitor.waitForEvent("COM1 connected", kConnectMs)) << monitor.events();

    UpsClient anonymous(port);
    EXPECT_EQ(anonymous.AskOne("LIST UPS"), "ERR ACCESS-DENIED");
    EXPECT_EQ(anonymous.AskOne("GET VAR COM1 ups.status"), "ERR ACCESS-DENIED");
    EXPECT_EQ(anonymous.AskOne("VER").rfind("Tornavel", 0), 0u);

    UpsClient wrong(port);
    wrong.AskOne("USERNAME follower");
    wrong.AskOne("PASSWORD guess");
    EXPECT_EQ(wrong.AskOne("GET VAR COM1 ups.status"), "ERR ACCESS-DENIED");
    EXPECT_EQ(wrong.AskOne("ATTACH COM1"), "ERR ACCESS-DENIED");

    UpsClient right(port);
    right.AskOne("USERNAME follower");
    right.AskOne("PASSWORD " + kPassword);
    EXPECT_TRUE(WaitForAnswer(right, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"OL\"", 10000));
    EXPECT_EQ(right.AskOne("ATTACH COM1"), "OK");
    EXPECT_EQ(right.AskOne("ATTACH COM1"), "ERR ALREADY-ATTACHED");
    EXPECT_EQ(right.AskOne("FSD COM1"), "ERR ACCESS-DENIED");
    EXPECT_EQ(right.AskOne("SET VAR COM1 ups.id NEW"), "ERR READONLY");
    EXPECT_EQ(right.AskOne("DETACH"), "OK Goodbye");
    EXPECT_EQ(sim.received("com1").find("NEW"), std::string::npos);
}

// A unit that goes silent and one whose cable is pulled say so, the RFC's
// way, and never serve their old values as current.
TEST(UpsNetwork, SilentAndVanishedUnitsAnswerStale)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "--pull-after", "com2:90", "com1=ups", "com2=ups"});
    TempDir dir;
    MonitorProcess monitor({"--ports", sim.ports(), "--ups-listen", "127.0.0.1:0", "COM1", "COM2"});
    const int port = UpsPort(monitor);
    ASSERT_GT(port, 0) << monitor.errors();
    UpsClient client(port);
    ASSERT_TRUE(WaitForAnswer(client, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"OL\"", kConnectMs));
    ASSERT_TRUE(WaitForAnswer(client, "GET VAR COM2 ups.status", "VAR COM2 ups.status \"OL\"", kConnectMs));

    sim.event("com1 silent on");
    EXPECT_TRUE(WaitForAnswer(client, "GET VAR COM1 ups.status", "ERR DATA-STALE", 30000));
    for (const char* line : {"GET VAR COM1 input.voltage", "GET VAR COM1 ups.model", "LIST VAR COM1"})
        EXPECT_EQ(client.AskOne(line), "ERR DATA-STALE") << line;
    EXPECT_TRUE(WaitForAnswer(client, "GET VAR COM2 battery.charge", "ERR DATA-STALE", 60000)) << monitor.events();
    EXPECT_EQ(client.AskOne("LIST VAR COM2"), "ERR DATA-STALE");
    EXPECT_TRUE(monitor.waitForMetric(R"(tornavel_ups_up{port="COM2"} 0)", 5000)) << monitor.metrics();

    sim.event("com1 silent off");
    EXPECT_TRUE(WaitForAnswer(client, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"OL\"", kConnectMs));
}

// Slow, garbage and over-long lines, the idle timeout and the limits on
// connections, in all and per address.
TEST(UpsNetwork, BadInputAndLimitsHaveDefinedOutcomes)
{
    std::signal(SIGPIPE, SIG_IGN);
    TempDir dir;
    // No unit is needed to judge the connections: a port nothing answers on.
    MonitorProcess monitor({"--ups-listen", "127.0.0.1:0", "--ups-idle-timeout", "3", "--ups-max-connections", "4",
                            "--ups-max-per-address", "3", "/nonexistent/ttyUPS"});
    const int port = UpsPort(monitor);
    ASSERT_GT(port, 0) << monitor.errors();

    // A slow line that ends within the timeout is answered.
    {
        UpsClient slow(port);
        for (const char c : std::string("PROTVER\r\n")) {
            slow.SendRaw(std::string(1, c));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        EXPECT_EQ(slow.ReadLine(), "1.3");
    }
    // Garbage gets an error per line and the connection goes on.
    {
        UpsClient garbage(port);
        garbage.SendRaw(std::string("\x01\x02\xff\x00zz\n", 7) + "\"unclosed\n" + "\\\n");
        for (int i = 0; i < 3; ++i) EXPECT_EQ(garbage.ReadLine(), "ERR INVALID-ARGUMENT");
        EXPECT_EQ(garbage.AskOne("PROTVER"), "1.3");
    }
    // An over-long line is refused and its connection closed.
    {
        UpsClient longLine(port);
        longLine.SendRaw(std::string(5000, 'A'));
        EXPECT_EQ(longLine.ReadLine(), "ERR INVALID-ARGUMENT");
        EXPECT_TRUE(longLine.ClosedBy(5000));
    }
    // A line that never ends, and a client that says nothing, are closed
    // after the idle timeout (3 s here; the wait is only a bound).
    {
        UpsClient trickle(port), quiet(port);
        trickle.SendRaw("GET VAR");
        const auto start = std::chrono::steady_clock::now();
        bool closed = false;
        while (!closed && std::chrono::steady_clock::now() - start < std::chrono::seconds(30)) {
            trickle.SendRaw("x");
            closed = trickle.ClosedBy(500);
        }
        EXPECT_TRUE(closed);
        EXPECT_TRUE(quiet.ClosedBy(30000));
    }
    // Three from one address; a fourth from it is closed at once, unanswered.
    {
        UpsClient a(port), b(port), c(port);
        for (UpsClient* client : {&a, &b, &c}) EXPECT_EQ(client->AskOne("PROTVER"), "1.3");
        UpsClient d(port);
        EXPECT_EQ(d.AskOne("PROTVER"), "");
        // Another address still gets the last place in all; a fifth is refused.
        UpsClient other(port, "127.0.0.1", "127.0.0.2");
        EXPECT_EQ(other.AskOne("PROTVER"), "1.3");
        UpsClient fifth(port, "127.0.0.1", "127.0.0.3");
        EXPECT_EQ(fifth.AskOne("PROTVER"), "");
    }
    // Places freed are taken again (the server sees the others go first).
    EXPECT_TRUE(MonitorProcess::waitUntil([&] { return UpsClient(port).AskOne("PROTVER") == "1.3"; }, 10000));
}

// STARTTLS with the server's own certificate: the client checks it, reads
// over TLS, and what it sent in plain text behind STARTTLS is never taken.
TEST(UpsNetwork, StartTlsWithTheServersCertificate)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    testing::MakeSelfSigned(dir, "server");
    testing::MakeSelfSigned(dir, "stranger");
    MonitorProcess monitor({"--ports", sim.ports(), "--ups-listen", "127.0.0.1:0", "--ups-tls-cert", dir / "server.pem",
                            "--ups-tls-key", dir / "server.key", "COM1"});
    const int port = UpsPort(monitor);
    ASSERT_GT(port, 0) << monitor.errors();

    UpsClient secure(port);
    std::string error;
    ASSERT_TRUE(secure.StartTls(dir / "server.pem", error)) << error;
    EXPECT_TRUE(WaitForAnswer(secure, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"OL\"", kConnectMs));
    EXPECT_EQ(secure.AskOne("STARTTLS"), "ERR TLS-ALREADY-ENABLED");

    UpsClient misled(port);
    EXPECT_FALSE(misled.StartTls(dir / "stranger.pem", error));

    // A line sent in plain text behind STARTTLS is never answered as if it
    // had come over TLS: the first answer there is to the first line sent there.
    UpsClient injected(port);
    ASSERT_TRUE(injected.StartTls(dir / "server.pem", error, "VER\n")) << error;
    EXPECT_EQ(injected.AskOne("PROTVER"), "1.3");
}

// A whole outage with two followers of one primary, one over this protocol
// and one over /metrics: once the primary has decided, its unit reads FSD and
// both followers go down for it; the primary tells its root service that
// the followers are gone (so that it powers off) only once both have left.
TEST(UpsNetwork, AnOutageTakesBothKindsOfFollowerDownBeforeThePrimary)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--drain", "6", "--low-runtime", "2", "com1=ups"});
    TempDir dir;
    std::ofstream(dir / "password") << kPassword << "\n";
    MonitorProcess primary({"--ports", sim.ports(), "--state-dir", dir / "primary/", "--protect", "COM1",
                            "--ups-listen", "127.0.0.1:0", "--ups-users", Users(dir), "COM1"});
    const int port = UpsPort(primary);
    ASSERT_GT(port, 0) << primary.errors();
    // The followers' own limits are out of reach (nothing stays below 0; the
    // unit drains to empty, so 1 % was reached on a slow run before the
    // primary's decision was seen): only the primary's decision takes them down.
    auto follow = [&](const std::string& state, std::vector<std::string> how) {
        std::vector<std::string> args = {"--state-dir",     dir / state, "--follow-every", "1",
                                         "--runtime-below", "0",         "--charge-below", "0"};
        args.insert(args.end(), how.begin(), how.end());
        return std::make_unique<MonitorProcess>(args);
    };
    auto overProtocol = follow("ups/", {"--follow", "ups://follower@127.0.0.1:" + std::to_string(port) + "/COM1",
                                        "--follow-auth", dir / "password"});
    auto overMetrics = follow(
        "metrics/",
        {"--follow", "http://127.0.0.1:" + std::to_string(primary.port()) + "/metrics", "--follow-port", "COM1"});
    UpsClient watcher(port);
    ASSERT_TRUE(WaitForAnswer(watcher, "GET NUMATTACH COM1", "NUMATTACH COM1 1", kConnectMs)) << overProtocol->events();
    EXPECT_EQ(watcher.Ask("LIST CLIENT COM1"),
              (std::vector<std::string>{"BEGIN LIST CLIENT COM1", "CLIENT COM1 127.0.0.1", "END LIST CLIENT COM1"}));

    sim.event("com1 mains-fail");
    ASSERT_TRUE(primary.waitForEvent("COM1 shutdown shutting this host down", 60000)) << primary.events();
    EXPECT_TRUE(WaitForAnswer(watcher, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"FSD OB LB\"", 10000))
        << watcher.AskOne("GET VAR COM1 ups.status");
    for (auto* follower : {overProtocol.get(), overMetrics.get()})
        EXPECT_TRUE(follower->waitForEvent("COM1 shutdown .*primary monitor has decided", 20000)) << follower->events();
    EXPECT_TRUE(std::filesystem::exists(dir / "ups/shutdown"));
    EXPECT_TRUE(std::filesystem::exists(dir / "metrics/shutdown"));

    // The followers are still up: the primary waits for them.
    std::this_thread::sleep_for(std::chrono::seconds(3));
    EXPECT_FALSE(std::filesystem::exists(dir / "primary/followers-done")) << primary.events();
    EXPECT_EQ(watcher.AskOne("GET NUMATTACH COM1"), "NUMATTACH COM1 1");

    // Their hosts go down: their monitors stop and leave (LOGOUT, the last scrape).
    EXPECT_EQ(overProtocol->terminate(SIGTERM, 20000), 0);
    EXPECT_TRUE(WaitForAnswer(watcher, "GET NUMATTACH COM1", "NUMATTACH COM1 0", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(2));
    EXPECT_FALSE(std::filesystem::exists(dir / "primary/followers-done")) << "one follower is still up";
    EXPECT_EQ(overMetrics->terminate(SIGTERM, 20000), 0);
    EXPECT_TRUE(primary.waitForEvent("followers_done no follower is attached any more", 20000)) << primary.events();
    EXPECT_TRUE(std::filesystem::exists(dir / "primary/followers-done"));
}

// A follower over this protocol reads its primary only through the right
// certificate and password; one misled or refused gets no reading and
// decides nothing when the primary vanishes... but one that reads follows
// the unit to the end.
TEST(UpsNetwork, AFollowerOverStartTlsTrustsOnlyItsPrimary)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    TempDir dir;
    testing::MakeSelfSigned(dir, "primary");
    testing::MakeSelfSigned(dir, "stranger");
    std::ofstream(dir / "password") << "follower:" << kPassword << "\n";
    std::ofstream(dir / "wrong") << "guess\n";
    auto primary = std::make_unique<MonitorProcess>(
        std::vector<std::string>{"--ports", sim.ports(), "--ups-listen", "127.0.0.1:0", "--ups-users", Users(dir),
                                 "--ups-tls-cert", dir / "primary.pem", "--ups-tls-key", dir / "primary.key", "COM1"});
    const int port = UpsPort(*primary);
    ASSERT_GT(port, 0) << primary->errors();
    const std::string url = "ups://follower@127.0.0.1:" + std::to_string(port) + "/COM1";
    auto follow = [&](const std::string& state, const std::string& ca, const std::string& auth) {
        return std::make_unique<MonitorProcess>(std::vector<std::string>{"--state-dir", dir / state, "--link-lost", "5",
                                                                         "--follow-every", "1", "--follow", url,
                                                                         "--follow-ca", ca, "--follow-auth", auth});
    };
    auto trusting = follow("trusting/", dir / "primary.pem", dir / "password");
    auto misled = follow("misled/", dir / "stranger.pem", dir / "password");
    auto refused = follow("refused/", dir / "primary.pem", dir / "wrong");
    UpsClient watcher(port);
    ASSERT_TRUE(WaitForAnswer(watcher, "GET NUMATTACH COM1", "NUMATTACH COM1 1", kConnectMs)) << trusting->events();
    sim.event("com1 mains-fail");
    ASSERT_TRUE(primary->waitForEvent("COM1 mains_failure", 10000));
    EXPECT_TRUE(WaitForAnswer(watcher, "GET VAR COM1 ups.status", "VAR COM1 ups.status \"OB\"", 10000));
    std::this_thread::sleep_for(std::chrono::seconds(3));  // read on battery by the follower
    primary.reset();
    EXPECT_TRUE(trusting->waitForEvent("COM1 shutdown shutting this host down: no valid reading", 30000))
        << trusting->events();
    EXPECT_TRUE(misled->waitForEvent("COM1 primary_unreadable .*TLS", 1000)) << misled->events();
    EXPECT_TRUE(refused->waitForEvent("COM1 primary_unreadable .*refuses", 1000)) << refused->events();
    for (auto* unread : {misled.get(), refused.get()})
        EXPECT_EQ(testing::Count(unread->events(), "COM1 shutdown"), 0u) << unread->events();
}

}  // namespace
}  // namespace tornavel
