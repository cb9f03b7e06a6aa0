#pragma once
// A running tornavel-monitor for a system test: its standard output (the
// event lines) and standard error collected, its metrics fetched over
// loopback HTTP. Every wait is bounded.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <regex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"

namespace tornavel::testing {

struct HttpReply {
    int status = 0;
    std::string headers;
    std::string body;
};

// One HTTP/1.0 request to 127.0.0.1:port; status 0 when nothing answered.
inline HttpReply HttpRequest(int port, const std::string& method, const std::string& path, const std::string& body = {})
{
    HttpReply reply;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    timeval patience{30, 0};  // a loaded machine may answer slowly
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return reply;
    }
    std::string request = method + " " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "\r\n" + body;
    (void)!::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string text;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) text.append(buffer, static_cast<size_t>(n));
    ::close(fd);
    const auto headerEnd = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.", 0) != 0 || headerEnd == std::string::npos) return reply;
    reply.status = std::stoi(text.substr(9, 3));
    reply.headers = text.substr(0, headerEnd);
    reply.body = text.substr(headerEnd + 4);
    return reply;
}

class MonitorProcess {
public:
    // Listens on a free loopback port unless the arguments say otherwise.
    explicit MonitorProcess(std::vector<std::string> args, bool pickPort = true)
    {
        if (pickPort) args.insert(args.begin(), {"--listen", "127.0.0.1:0"});
        args.insert(args.begin(), MONITOR_PATH);
        int output[2], errors[2];
        if (::pipe2(output, O_CLOEXEC) || ::pipe2(errors, O_CLOEXEC)) throw std::runtime_error("pipe failed");
        pid_ = Spawn(args, -1, output[1], errors[1]);
        ::close(output[1]);
        ::close(errors[1]);
        stdout_ = output[0];
        stderr_ = errors[0];
        ::fcntl(stdout_, F_SETFL, O_NONBLOCK);
        ::fcntl(stderr_, F_SETFL, O_NONBLOCK);
    }

    ~MonitorProcess()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::close(stdout_);
        ::close(stderr_);
    }

    pid_t pid() const { return pid_; }

    // Standard output so far.
    const std::string& events()
    {
        Drain(stdout_, out_);
        return out_;
    }
    const std::string& errors()
    {
        Drain(stderr_, err_);
        return err_;
    }

    // Waits until the event lines match the pattern.
    bool waitForEvent(const std::string& pattern, int patienceMs)
    {
        const std::regex re(pattern);
        return waitUntil([&] { return std::regex_search(events(), re); }, patienceMs);
    }

    // The metrics port, from the start line.
    int port()
    {
        if (port_ == 0 && waitForEvent(R"(start listening on https?://[^ ]*:(\d+)/metrics)", 5000)) {
            std::smatch match;
            const std::string text = events();
            std::regex_search(text, match, std::regex(R"(listening on https?://[^ ]*:(\d+)/metrics)"));
            port_ = std::stoi(match[1]);
        }
        return port_;
    }

    std::string metrics() { return HttpRequest(port(), "GET", "/metrics").body; }

    // Waits until /metrics has a line equal to `line`.
    bool waitForMetric(const std::string& line, int patienceMs)
    {
        return waitUntil([&] { return ("\n" + metrics()).find("\n" + line + "\n") != std::string::npos; }, patienceMs);
    }

    // Exit status once it ended by itself (-1 if it did not within patience
    // or died by a signal).
    int wait(int patienceMs)
    {
        int status = 0;
        const bool ended = waitUntil([&] { return ::waitpid(pid_, &status, WNOHANG) == pid_; }, patienceMs);
        if (!ended) return -1;
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int terminate(int signal, int patienceMs)
    {
        ::kill(pid_, signal);
        return wait(patienceMs);
    }

    // Every wait here is for something that must happen, so a loaded machine
    // gets at least kMinPatienceMs whatever the caller's figure; a test that
    // checks something does not happen looks after a sleep instead.
    static constexpr int kMinPatienceMs = 30000;
    template <typename Condition>
    static bool waitUntil(Condition done, int patienceMs)
    {
        const auto until = std::chrono::steady_clock::now() +
                           std::chrono::milliseconds(std::max(patienceMs, kMinPatienceMs));
        while (!done()) {
            if (std::chrono::steady_clock::now() > until) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return true;
    }

private:
    static void Drain(int fd, std::string& into)
    {
        char buffer[4096];
        ssize_t n;
        while ((n = ::read(fd, buffer, sizeof buffer)) > 0) into.append(buffer, static_cast<size_t>(n));
    }

    pid_t pid_ = -1;
    int stdout_ = -1;
    int stderr_ = -1;
    int port_ = 0;
    std::string out_;
    std::string err_;
};

}  // namespace tornavel::testing
