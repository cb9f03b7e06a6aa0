#include "serial/posixport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "serial/termiosline.h"

namespace tornavel {

namespace {

// One read never asks for more: a tty input queue holds 4 KiB, so this only
// guards against an absurd request.
constexpr int kMaxReadBytes = 64 * 1024;

// TIOCEXCL makes every later open of the terminal fail with EBUSY, except
// root's; so a terminal that another program already made exclusive counts as
// busy here even for root. flock is what picocom and similar tools check.
bool TakeExclusive(int fd)
{
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0 && exclusive) return false;
    if (::ioctl(fd, TIOCEXCL) != 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    ::ioctl(fd, TIOCNXCL);
    return false;
}

// The exclusive flag belongs to the terminal, not to our descriptor: a
// pseudo-terminal keeps it while its master stays open, so the next open of
// the port would be refused unless it is cleared before closing.
void CloseExclusive(int fd)
{
    ::ioctl(fd, TIOCNXCL);
    ::flock(fd, LOCK_UN);
    ::close(fd);
}

}  // namespace

bool PosixSerialDevice::ReadSettings(LineSettings& settings)
{
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return false;
    ReadLine(t, settings);
    return true;
}

bool PosixSerialDevice::ApplySettings(const LineSettings& settings)
{
    termios t{};
    if (::tcgetattr(fd_, &t) != 0 || !MakeRawLine(settings, t)) return false;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) return false;
    // DTR and RTS held off, as the UPS cable expects. Pseudo-terminals and
    // some adapters have no modem lines and refuse this: nothing to do then.
    int lines = TIOCM_DTR | TIOCM_RTS;
    ::ioctl(fd_, TIOCMBIC, &lines);
    return true;
}

long PosixSerialDevice::Write(const Bytes& bytes)
{
    // A terminal reports a hang-up as EIO; SIGPIPE comes only from pipes and
    // sockets, so a plain write() needs no MSG_NOSIGNAL-like care.
    const ssize_t written = ::write(fd_, bytes.data(), bytes.size());
    if (written >= 0) return written;
    NoteFailure();
    return errno == EAGAIN || errno == EINTR ? 0 : -1;  // a full output queue never blocks us
}

int PosixSerialDevice::Waiting()
{
    // A line error leaves no error state that holds the input back: the raw
    // line hands over a byte with a framing error as a zero byte and an
    // overrun just loses bytes, so the count is all there is to ask.
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) == 0) return count;
    NoteFailure();
    return 0;
}

Bytes PosixSerialDevice::Read(int n)
{
    if (n <= 0) return {};
    Bytes bytes(static_cast<std::size_t>(std::min(n, kMaxReadBytes)), '\0');
    const ssize_t got = ::read(fd_, bytes.data(), bytes.size());
    if (got < 0) NoteFailure();
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);  // EAGAIN, EOF, EIO: nothing
    return bytes;
}

void PosixSerialDevice::Purge()
{
    ::tcflush(fd_, TCIOFLUSH);
}

void PosixSerialDevice::Close()
{
    if (fd_ < 0) return;
    lock_.Release();
    CloseExclusive(fd_);
    fd_ = -1;
}

void PosixSerialDevice::NoteFailure()
{
    if (errno == EIO || errno == ENXIO || errno == ENODEV) vanished_ = true;
}

bool PosixSerialDevice::Vanished()
{
    if (fd_ < 0) return false;  // a port we closed has not vanished
    if (vanished_) return true;
    pollfd line{fd_, POLLIN, 0};
    if (::poll(&line, 1, 0) > 0 && (line.revents & (POLLHUP | POLLERR | POLLNVAL))) vanished_ = true;
    struct stat st;
    if (::stat(device_.c_str(), &st) != 0 && errno == ENOENT) vanished_ = true;
    return vanished_;
}

std::unique_ptr<SerialDevice> PosixPortOpener::Open(int number)
{
    const auto path = map_.DevicePath(number);
    if (!path) return nullptr;
    return OpenSerialDevice(*path, lockDir_);
}

std::optional<LockHolder> PosixPortOpener::Holder(int number)
{
    const auto path = map_.DevicePath(number);
    if (!path) return std::nullopt;
    return FindLockHolder(lockDir_, *path);
}

std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, const std::string& lockDir)
{
    // Only a character device is ever opened: a regular file, a FIFO or a
    // directory named comN is left untouched, so nothing is written into it.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return nullptr;
    std::error_code error;
    const std::string device = std::filesystem::canonical(path, error).string();
    if (error) return nullptr;
    // Fails for a port the user may not open (not in "dialout") and, with
    // EBUSY, for one another program made exclusive.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    // isatty: /dev/null and other character devices are no ports.
    if (!::isatty(fd) || !TakeExclusive(fd)) {
        ::close(fd);
        return nullptr;
    }
    UucpLock lock;
    if (lockDir != kNoLockFiles && !lock.Take(lockDir, device)) {
        CloseExclusive(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialDevice>(fd, std::move(lock), device);
}

}  // namespace tornavel
