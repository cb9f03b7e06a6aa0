#include "control/linesocket.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>

namespace tornavel::control {

std::optional<std::string> ReadLine(int fd, std::size_t maxLength)
{
    std::string line;
    while (line.size() <= maxLength) {
        char c;
        const ssize_t n = ::recv(fd, &c, 1, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) return std::nullopt;
        if (c == '\n') return line;
        line += c;
    }
    return std::nullopt;
}

bool WriteLine(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        sent += static_cast<std::size_t>(n);
    }
    return true;
}

void SetTimeouts(int fd, int seconds)
{
    const timeval patience{seconds, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
}

}  // namespace tornavel::control
