#include "pseudoterminal.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace upssim {

namespace {

bool MakeRaw(const std::string& slavePath)
{
    const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    termios settings{};
    bool ok = ::tcgetattr(fd, &settings) == 0;
    if (ok) {
        ::cfmakeraw(&settings);
        settings.c_cflag |= CLOCAL | CREAD;
        ::cfsetspeed(&settings, B2400);
        ok = ::tcsetattr(fd, TCSANOW, &settings) == 0;
    }
    ::close(fd);
    return ok;
}

std::string LinkTarget(const std::string& link)
{
    char target[256];
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<size_t>(length));
}

}  // namespace

std::optional<PseudoTerminal> OpenPseudoTerminal(std::string& error)
{
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char path[128];
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0
        || ::ptsname_r(master, path, sizeof path) != 0 || !MakeRaw(path)) {
        error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (master >= 0) ::close(master);
        return std::nullopt;
    }
    return PseudoTerminal{master, path};
}

// A program scanning the directory never finds a half-made link.
bool LinkAtomically(const std::string& target, const std::string& link, std::string& error)
{
    const size_t slash = link.rfind('/') + 1; // 0 when there is none
    const std::string temporary = link.substr(0, slash) + "." + link.substr(slash) + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) == 0 && ::rename(temporary.c_str(), link.c_str()) == 0)
        return true;
    error = "cannot link " + link + ": " + std::strerror(errno);
    ::unlink(temporary.c_str());
    return false;
}

void UnlinkIfPointsTo(const std::string& link, const std::string& target)
{
    if (LinkTarget(link) == target) ::unlink(link.c_str());
}

bool SlaveHeld(int master)
{
    pollfd fd{master, POLLIN, 0};
    return ::poll(&fd, 1, 0) >= 0 && !(fd.revents & POLLHUP);
}

bool ClearSlave(const std::string& slavePath, bool liftExclusive)
{
    const int fd = ::open(slavePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    if (liftExclusive) ::ioctl(fd, TIOCNXCL);
    ::tcflush(fd, TCIFLUSH);
    ::close(fd);
    return true;
}

}  // namespace upssim
