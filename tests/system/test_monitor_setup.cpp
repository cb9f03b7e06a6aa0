// The monitor's setup against the simulator: an endpoint on [::] answers
// over IPv4 and IPv6 with the unit's name on its series; --check says what
// would run without a byte to any unit.
#include <gtest/gtest.h>

#include <sys/un.h>

#include <csignal>
#include <cstring>
#include <filesystem>

#include "monitor_process.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::HttpRequest;
using testing::MonitorProcess;
using testing::UpssimProcess;

// GET /metrics from [::1]:port; the body, or empty when nothing answered.
std::string MetricsOverIpv6(int port)
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_port = htons(static_cast<uint16_t>(port));
    address.sin6_addr = in6addr_loopback;
    std::string text;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET /metrics HTTP/1.0\r\nHost: [::1]\r\n\r\n";
        (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) text.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return text;
}

TEST(MonitorSetup, AnyAddressServesIpv4AndIpv6WithTheUnitsName)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"--steady", "com1=ups"});
    MonitorProcess monitor({"--listen", "[::]:0", "--name", "rack1=com1", "--ports", sim.ports(), "COM1"},
                           /*pickPort=*/false);
    const int port = monitor.port();
    ASSERT_GT(port, 0) << monitor.events() << monitor.errors();
    const std::string series = R"(tornavel_ups_input_volts{port="COM1",unit="rack1"} 229.3)";
    ASSERT_TRUE(MonitorProcess::waitUntil(
        [&] { return HttpRequest(port, "GET", "/metrics").body.find(series) != std::string::npos; }, 30000))
        << monitor.events();
    EXPECT_NE(MetricsOverIpv6(port).find(series), std::string::npos);
    EXPECT_EQ(monitor.terminate(SIGTERM, 15000), 0);
}

// systemd's side of Type=notify: a datagram socket the monitor is told of.
class NotifySocket {
public:
    NotifySocket() : path_(std::filesystem::temp_directory_path() / ("notify-" + std::to_string(::getpid())))
    {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path_.c_str(), sizeof address.sun_path - 1);
        ::unlink(path_.c_str());
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    ~NotifySocket()
    {
        ::close(fd_);
        ::unlink(path_.c_str());
    }
    const std::string& path() const { return path_; }

    // The next message, or empty after the patience.
    std::string Next(int patienceMs)
    {
        pollfd ready{fd_, POLLIN, 0};
        if (::poll(&ready, 1, patienceMs) != 1) return {};
        char buffer[256];
        const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
        return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
    }

private:
    std::string path_;
    int fd_ = -1;
};

TEST(MonitorSetup, TellsSystemdReadyFeedsItsWatchdogAndSaysStopping)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    NotifySocket systemd;
    ::setenv("NOTIFY_SOCKET", systemd.path().c_str(), 1);
    ::setenv("WATCHDOG_USEC", "1000000", 1);
    MonitorProcess monitor({"--ports", sim.ports(), "COM1"});
    ::unsetenv("NOTIFY_SOCKET");
    ::unsetenv("WATCHDOG_USEC");
    EXPECT_EQ(systemd.Next(10000), "READY=1") << monitor.errors();
    // Pings at half the interval: a few within a few intervals.
    for (int ping = 0; ping < 3; ++ping) EXPECT_EQ(systemd.Next(5000), "WATCHDOG=1") << ping;
    ::kill(monitor.pid(), SIGTERM);
    std::string said;
    while ((said = systemd.Next(5000)) == "WATCHDOG=1") {
    }
    EXPECT_EQ(said, "STOPPING=1");
    EXPECT_EQ(monitor.wait(15000), 0);
}

struct CheckCase {
    std::vector<std::string> args;  // after --check --ports DIR
    int status;
    const char* printed;  // on standard output
    const char* error;    // on standard error
};

class MonitorCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(MonitorCheck, SaysWhatWouldRunAndTouchesNoUnit)
{
    UpssimProcess sim({"com1=ups"});
    std::vector<std::string> args = {"--check", "--ports", sim.ports()};
    args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
    MonitorProcess monitor(args, /*pickPort=*/false);
    EXPECT_EQ(monitor.wait(10000), GetParam().status) << monitor.errors();
    EXPECT_NE(monitor.events().find(GetParam().printed), std::string::npos) << monitor.events();
    EXPECT_NE(monitor.errors().find(GetParam().error), std::string::npos) << monitor.errors();
    EXPECT_EQ(sim.received("com1"), "") << "--check spoke to the unit";
}

INSTANTIATE_TEST_SUITE_P(Monitor, MonitorCheck,
                         ::testing::Values(CheckCase{{"--name", "rack1=COM1", "--on-event", "/bin/true", "COM1"},
                                                     0,
                                                     "unit COM1 named rack1 on ",
                                                     ""},
                                           CheckCase{{"COM1", "COM2"}, 2, "not ready: 1 problem", "port COM2: "},
                                           CheckCase{{"--on-event", "/dev/null", "COM1"},
                                                     2,
                                                     "on-event /dev/null",
                                                     "event program /dev/null: not an executable file"}));

}  // namespace
}  // namespace tornavel
