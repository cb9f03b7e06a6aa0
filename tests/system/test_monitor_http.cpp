// The metrics endpoint under idle connections: sockets held open by one host
// never keep another host's scrape waiting, and an idle socket is closed
// soon. Loopback only (127.0.0.2 and 127.0.0.3 stand for other hosts);
// every wait is bounded.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

#include "monitor_process.h"

namespace tornavel {
namespace {

using testing::HttpRequest;
using testing::MonitorProcess;

// A TCP connection from `from` to the monitor that sends nothing.
int IdleSocket(const char* from, int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval patience{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &address.sin_addr);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    address.sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST(MonitorHttp, ScrapeIsAnsweredWhileAnotherHostHoldsIdleSockets)
{
    MonitorProcess monitor({"--ports", "/nonexistent", "COM1"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    for (const int held : {50, 300}) {
        std::vector<int> sockets;
        for (int n = 0; n < held; ++n)
            if (const int fd = IdleSocket("127.0.0.2", monitor.port()); fd >= 0) sockets.push_back(fd);
        const auto start = std::chrono::steady_clock::now();
        const auto reply = HttpRequest(monitor.port(), "GET", "/metrics");
        const auto ms =
            std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        std::printf("scrape while %d idle sockets are held: status %d in %lld ms\n", held, reply.status,
                    static_cast<long long>(ms));
        EXPECT_EQ(reply.status, 200) << held << " idle sockets";
        EXPECT_NE(reply.body.find(R"(tornavel_ups_up{port="COM1"} 0)"), std::string::npos);
        for (const int fd : sockets) ::close(fd);
    }
}

TEST(MonitorHttp, IdleConnectionIsClosedSoon)
{
    MonitorProcess monitor({"--ports", "/nonexistent", "COM1"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    const int fd = IdleSocket("127.0.0.3", monitor.port());
    ASSERT_GE(fd, 0);
    // Closed by the monitor (0), not by the 5 s patience of the receive (-1).
    char byte;
    EXPECT_EQ(::recv(fd, &byte, 1, 0), 0);
    ::close(fd);
}

}  // namespace
}  // namespace tornavel
