#include "app/systemdnotify.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace tornavel::service {

namespace {

std::optional<long long> Number(const char* text)
{
    if (!text || !*text) return std::nullopt;
    char* end = nullptr;
    const long long value = std::strtoll(text, &end, 10);
    if (*end != '\0' || value <= 0) return std::nullopt;
    return value;
}

}  // namespace

SystemdNotifier SystemdNotifier::FromEnvironment()
{
    SystemdNotifier notifier;
    if (const char* socket = std::getenv("NOTIFY_SOCKET")) notifier.socket_ = socket;
    const auto usec = Number(std::getenv("WATCHDOG_USEC"));
    const auto pid = Number(std::getenv("WATCHDOG_PID"));
    // WATCHDOG_PID, when set, names the process that must ping: not a child.
    if (usec && (!pid || *pid == ::getpid())) notifier.watchdogMs_ = *usec / 1000;
    return notifier;
}

bool SystemdNotifier::Send(const std::string& state) const
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socket_.empty() || socket_.size() >= sizeof address.sun_path) return false;
    if (socket_[0] != '@' && socket_[0] != '/') return false;
    std::memcpy(address.sun_path, socket_.data(), socket_.size());
    if (socket_[0] == '@') address.sun_path[0] = '\0';
    const socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socket_.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    const bool sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address),
                               length) == static_cast<ssize_t>(state.size());
    ::close(fd);
    return sent;
}

bool EveryThreadAlive(const std::vector<std::int64_t>& beatsMs, std::int64_t nowMs, std::int64_t limitMs)
{
    for (const std::int64_t beat : beatsMs)
        if (nowMs - beat >= limitMs) return false;
    return true;
}

}  // namespace tornavel::service
