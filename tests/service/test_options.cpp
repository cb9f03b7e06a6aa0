// The command line: what runs, and the one-line errors for what does not.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>

#include "app/monitoroptions.h"
#include "protection/protectoptions.h"

namespace tornavel::service {
namespace {

TEST(CommandLine, PortsOptionsAndDefaults)
{
    const CommandLine line = ParseCommandLine({"--ports", "/tmp/p", "com3", "--textfile=/var/lib/x.prom",
                                               "/dev/serial/by-id/usb-UPS", "--on-event", "/bin/hook", "--hook-timeout",
                                               "5", "COM16"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    const MonitorOptions& o = line.options;
    ASSERT_EQ(o.units.size(), 3u);
    EXPECT_EQ(o.units[0].label, "COM3");
    EXPECT_EQ(o.units[0].number, 3);
    EXPECT_EQ(o.units[1].label, "/dev/serial/by-id/usb-UPS");
    EXPECT_EQ(o.units[1].number, 0);
    EXPECT_EQ(o.units[1].path, "/dev/serial/by-id/usb-UPS");
    EXPECT_EQ(o.units[2].number, 16);
    EXPECT_EQ(o.portsDir, "/tmp/p");
    EXPECT_EQ(o.textfile, "/var/lib/x.prom");
    EXPECT_EQ(o.onEvent, "/bin/hook");
    EXPECT_EQ(o.hookTimeoutSeconds, 5);
    // Loopback only unless told otherwise.
    ASSERT_EQ(o.listen.size(), 1u);
    ASSERT_EQ(o.listen[0].address.ss_family, AF_INET);
    const auto* v4 = reinterpret_cast<const sockaddr_in*>(&o.listen[0].address);
    EXPECT_EQ(ntohl(v4->sin_addr.s_addr), INADDR_LOOPBACK);
    EXPECT_EQ(ntohs(v4->sin_port), 9184);
}

// Each --listen is one endpoint; only IPv6's unspecified address (also
// written ":PORT") takes IPv4 as well.
TEST(CommandLine, ListenAddressesAsExportersTakeThem)
{
    const CommandLine line = ParseCommandLine(
        {"--listen", "[::1]:9300", "--listen=:9184", "--listen", "[::]:9185", "--listen", "0.0.0.0:9186", "COM1"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    const auto& listen = line.options.listen;
    ASSERT_EQ(listen.size(), 4u);
    const int families[] = {AF_INET6, AF_INET6, AF_INET6, AF_INET};
    const int ports[] = {9300, 9184, 9185, 9186};
    const bool dual[] = {false, true, true, false};
    for (std::size_t i = 0; i < listen.size(); ++i) {
        EXPECT_EQ(listen[i].address.ss_family, families[i]) << listen[i].text;
        EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in*>(&listen[i].address)->sin_port), ports[i]);
        EXPECT_EQ(listen[i].DualStack(), dual[i]) << listen[i].text;
    }
    EXPECT_TRUE(listen[1].anyFamily);
    const ListenAddress fallback = listen[1].Ipv4Any();
    EXPECT_EQ(fallback.address.ss_family, AF_INET);
    EXPECT_EQ(ntohs(reinterpret_cast<const sockaddr_in*>(&fallback.address)->sin_port), 9184);
    EXPECT_EQ(reinterpret_cast<const sockaddr_in*>(&fallback.address)->sin_addr.s_addr, htonl(INADDR_ANY));
}

TEST(CommandLine, NamesFollowTheirPortsAndCheckIsAnAction)
{
    const CommandLine line = ParseCommandLine(
        {"--name", "rack-2.a=com4", "--check", "COM1", "COM4", "--name=ups_1=/dev/ttyUSB0", "/dev/ttyUSB0"});
    ASSERT_EQ(line.action, CommandLine::Action::Check) << line.error;
    const auto& units = line.options.units;
    ASSERT_EQ(units.size(), 3u);
    EXPECT_EQ(units[0].name, "");
    EXPECT_EQ(units[1].name, "rack-2.a");
    EXPECT_EQ(units[2].name, "ups_1");
    EXPECT_EQ(ParseCommandLine({"COM1"}).action, CommandLine::Action::Run);
}

TEST(CommandLine, HelpAndVersionWinOverTheRest)
{
    EXPECT_EQ(ParseCommandLine({"COM1", "--help"}).action, CommandLine::Action::Help);
    EXPECT_EQ(ParseCommandLine({"--version", "--bogus"}).action, CommandLine::Action::Version);
}

struct Wrong {
    std::vector<std::string> args;
    const char* error;
};

class WrongCommandLine : public ::testing::TestWithParam<Wrong> {};

TEST_P(WrongCommandLine, GivesOneLineReason)
{
    const CommandLine line = ParseCommandLine(GetParam().args);
    EXPECT_EQ(line.action, CommandLine::Action::Error);
    EXPECT_NE(line.error.find(GetParam().error), std::string::npos) << line.error;
    EXPECT_EQ(line.error.find('\n'), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    CommandLine, WrongCommandLine,
    ::testing::Values(
        Wrong{{}, "no port given"}, Wrong{{"COM17"}, "unknown port 'COM17'"}, Wrong{{"COM0"}, "unknown port 'COM0'"},
        Wrong{{"COM01"}, "unknown port 'COM01'"}, Wrong{{"LPT1"}, "unknown port 'LPT1'"},
        Wrong{{"ttyS0"}, "unknown port 'ttyS0'"}, Wrong{{"COM1", "com1"}, "port 'COM1' given twice"},
        Wrong{{"--bogus", "COM1"}, "unknown option '--bogus'"},
        Wrong{{"COM1", "--ports"}, "option '--ports' needs a value"},
        Wrong{{"--textfile=", "COM1"}, "option '--textfile' needs a value"},
        Wrong{{"--listen", "localhost:9184", "COM1"}, "--listen takes ADDR:PORT"},
        Wrong{{"--listen", "127.0.0.1", "COM1"}, "--listen takes ADDR:PORT"},
        Wrong{{"--listen", "127.0.0.1:65536", "COM1"}, "--listen takes ADDR:PORT"},
        Wrong{{"--listen", "::1:9184", "COM1"}, "--listen takes ADDR:PORT"},
        Wrong{{"--name", "a=COM2", "COM1"}, "'COM2' is not one of the ports given"},
        Wrong{{"--name", "a b=COM1", "COM1"}, "--name takes NAME=PORT"},
        Wrong{{"--name", "=COM1", "COM1"}, "--name takes NAME=PORT"},
        Wrong{{"--name", "COM1", "COM1"}, "--name takes NAME=PORT"},
        Wrong{{"--name", "a=COM1", "--name", "b=com1", "COM1"}, "port 'COM1' named twice"},
        Wrong{{"--name", "a=COM1", "--name", "a=COM2", "COM1", "COM2"}, "name 'a' given to two ports"},
        Wrong{{"--hook-timeout", "0", "COM1"}, "--hook-timeout takes whole seconds"},
        Wrong{{"--hook-timeout", "2s", "COM1"}, "--hook-timeout takes whole seconds"},
        Wrong{{"--protect", "COM2", "COM1"}, "--protect names 'COM2', which is not one of the ports"},
        Wrong{{"--protect", "COM1"}, "no port given"},
        Wrong{{"--dry-run=yes", "COM1"}, "option '--dry-run' takes no value"},
        Wrong{{"--link-lost", "2", "COM1"}, "--link-lost takes a whole number from 5 to 3600"},
        Wrong{{"--charge-below", "101", "COM1"}, "--charge-below takes a whole number from 0 to 100"},
        Wrong{{"--follow", "ftp://h/metrics", "--follow-port", "COM1"}, "--follow takes an http"},
        Wrong{{"--follow", "http://h:9184/metrics"}, "--follow needs --follow-port"},
        Wrong{{"--follow-port", "COM1", "COM1"}, "--follow-port, --follow-ca and --follow-auth need --follow"},
        Wrong{{"--follow", "http://primary:9184/metrics", "--follow-port", "COM1", "--follow-auth", "/a"},
              "--follow-auth over plain http to another host would send the password in clear"},
        Wrong{{"--protect-needed", "2", "--protect", "COM1", "COM1"},
              "--protect-needed 2 is more than the 1 protected units"},
        Wrong{{"--protect-needed", "0", "--protect", "COM1", "COM1"}, "--protect-needed takes a whole number from 1"}));

TEST(CommandLine, ProtectNeededCountsTheWatchedAndTheFollowedUnits)
{
    const CommandLine line = ParseCommandLine(
        {"--protect-needed", "1", "--protect", "COM1", "--protect", "COM2", "COM1", "COM2"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    EXPECT_EQ(line.options.protection.needed, 1);
    EXPECT_FALSE(ParseCommandLine({"--protect", "COM1", "COM1"}).options.protection.needed);
    EXPECT_EQ(ParseCommandLine({"--protect-needed", "2", "--protect", "COM1", "--follow", "https://p/metrics",
                                "--follow-port", "COM1", "COM1"})
                  .action,
              CommandLine::Action::Run);
}

// Plain http is only safe to this host itself.
TEST(CommandLine, PlainHttpToAnotherHostIsToldFromLoopbackAndHttps)
{
    for (const char* url : {"http://primary:9184/metrics", "http://10.0.0.1/metrics", "http://[fe80::1]:9184/",
                            "http://localhost.example.org/", "http://u:p@192.168.1.2/metrics"})
        EXPECT_TRUE(PlainHttpToAnotherHost(url)) << url;
    for (const char* url : {"http://127.0.0.1:9184/metrics", "http://127.1.2.3/", "http://localhost:9184/metrics",
                            "http://[::1]:9184/metrics", "http://LOCALHOST/", "https://primary:9184/metrics"})
        EXPECT_FALSE(PlainHttpToAnotherHost(url)) << url;
}

// A ups:// primary on another host is read in clear unless --follow-ca asks
// for STARTTLS.
TEST(CommandLine, UpsServerOnAnotherHostIsInClearWithoutFollowCa)
{
    struct Case {
        const char* url;
        bool ca;
        bool inClear;
    };
    for (const Case& c : {Case{"ups://nas@192.0.2.20/ups", false, true}, Case{"ups://nas/ups", false, true},
                          Case{"ups://nas@192.0.2.20/ups", true, false}, Case{"ups://127.0.0.1/COM1", false, false},
                          Case{"ups://[::1]:3493/COM1", false, false}, Case{"http://primary/metrics", false, true},
                          Case{"https://primary/metrics", false, false}}) {
        ProtectOptions options;
        options.followUrl = c.url;
        if (c.ca) options.followCa = "/etc/tornavel/ca.pem";
        EXPECT_EQ(FollowedInClearFromAnotherHost(options), c.inClear) << c.url;
    }
}

TEST(CommandLine, HostProtectionIsOffUnlessAskedAndTakesItsLimits)
{
    EXPECT_FALSE(ParseCommandLine({"COM1"}).options.protection.Enabled());

    const CommandLine line = ParseCommandLine({"--protect", "com1", "--runtime-below", "300", "--charge-below=10",
                                               "--on-battery-longer", "900", "--link-lost", "60", "--dry-run",
                                               "--state-dir", "/tmp/s", "COM1"});
    ASSERT_EQ(line.action, CommandLine::Action::Run) << line.error;
    const ProtectOptions& p = line.options.protection;
    EXPECT_EQ(p.protect, std::vector<std::string>{"COM1"});
    EXPECT_EQ(p.limits.runtimeBelowSeconds, 300);
    EXPECT_EQ(p.limits.chargeBelowPercent, 10);
    EXPECT_EQ(p.limits.onBatteryLongerSeconds, 900);
    EXPECT_EQ(p.limits.linkLostSeconds, 60);
    EXPECT_TRUE(p.dryRun);
    EXPECT_EQ(p.stateDir, "/tmp/s");

    const CommandLine follower = ParseCommandLine(
        {"--follow", "https://primary:9184/metrics", "--follow-port", "COM1", "--follow-every", "2"});
    ASSERT_EQ(follower.action, CommandLine::Action::Run) << follower.error;
    EXPECT_EQ(follower.options.protection.followUrl, "https://primary:9184/metrics");
    EXPECT_EQ(follower.options.protection.followEverySeconds, 2);
    EXPECT_TRUE(follower.options.units.empty());
}

}  // namespace
}  // namespace tornavel::service
