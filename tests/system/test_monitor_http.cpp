// The metrics endpoint under idle connections: sockets held open by one host
// never keep another host's scrape waiting, and an idle socket is closed
// soon. Loopback only (127.0.0.2 and 127.0.0.3 stand for other hosts);
// every wait is bounded.
#include <gtest/gtest.h>

#include <algorithm>
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

// Whether the socket has been closed by the other end (or reset); `waitMs`
// 0 only looks.
bool ClosedByPeer(int fd, int waitMs)
{
    pollfd line{fd, POLLIN, 0};
    if (::poll(&line, 1, waitMs) <= 0) return false;
    char byte;
    return ::recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0;
}

// What the monitor answers a request on a socket from `from`, read until it
// closes (bounded by the socket's 5 s receive patience).
std::string Answer(int fd)
{
    const std::string request = "GET /metrics HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, static_cast<size_t>(n));
    return text;
}

// One host holds as many idle sockets as one address may: its next
// connection is closed unanswered, while another host is still served. A
// round counts only if the held sockets were all still open afterwards (on a
// slow machine the idle timeout may close them first); a few rounds at most.
TEST(MonitorHttp, OneAddressGetsNoMoreThanItsShareOfConnections)
{
    MonitorProcess monitor({"--ports", "/nonexistent", "COM1"});
    ASSERT_GT(monitor.port(), 0) << monitor.errors();
    constexpr int kPerAddress = 8;  // the monitor's limit
    bool judged = false;
    for (int round = 0; round < 5 && !judged; ++round) {
        std::vector<int> held;
        for (int n = 0; n < kPerAddress; ++n) held.push_back(IdleSocket("127.0.0.2", monitor.port()));
        const int extra = IdleSocket("127.0.0.2", monitor.port());
        const int other = IdleSocket("127.0.0.3", monitor.port());
        ASSERT_GE(extra, 0);
        ASSERT_GE(other, 0);
        const std::string extraAnswer = Answer(extra);
        const std::string otherAnswer = Answer(other);
        judged = std::none_of(held.begin(), held.end(), [](int fd) { return fd < 0 || ClosedByPeer(fd, 0); });
        if (judged) {
            EXPECT_EQ(extraAnswer.find("HTTP/1."), std::string::npos) << extraAnswer;
            EXPECT_EQ(otherAnswer.rfind("HTTP/1.", 0), 0u) << otherAnswer;
            EXPECT_NE(otherAnswer.find(" 200 "), std::string::npos) << otherAnswer;
        }
        for (const int fd : held) ::close(fd);
        ::close(extra);
        ::close(other);
    }
    EXPECT_TRUE(judged) << "the held sockets were closed before the round could be judged, every time";
}

}  // namespace
}  // namespace tornavel
