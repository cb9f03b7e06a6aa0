#include "serial/posixport.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <optional>
#include <utility>

namespace tornavel {

namespace {

// One read never asks for more: a tty input queue holds 4 KiB, so this only
// guards against an absurd request.
constexpr int kMaxReadBytes = 64 * 1024;

constexpr std::array<std::pair<std::uint32_t, speed_t>, 14> kSpeeds{{
    {110, B110}, {150, B150}, {200, B200}, {300, B300}, {600, B600}, {1200, B1200},
    {1800, B1800}, {2400, B2400}, {4800, B4800}, {9600, B9600}, {19200, B19200},
    {38400, B38400}, {57600, B57600}, {115200, B115200},
}};

std::optional<speed_t> SpeedOf(std::uint32_t baud)
{
    for (const auto& [rate, speed] : kSpeeds)
        if (rate == baud) return speed;
    return std::nullopt;
}

std::optional<std::uint32_t> BaudOf(speed_t speed)
{
    for (const auto& [rate, code] : kSpeeds)
        if (code == speed) return rate;
    return std::nullopt;
}

std::optional<tcflag_t> CharSizeOf(std::uint8_t dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    case 8: return CS8;
    default: return std::nullopt;
    }
}

tcflag_t ParityFlags(Parity parity)
{
    switch (parity) {
    case Parity::Odd: return PARENB | PARODD;
    case Parity::Even: return PARENB;
    case Parity::Mark: return PARENB | PARODD | CMSPAR;  // "sticky" parity, always 1
    case Parity::None: break;
    }
    return 0;
}

// Linux has no 1.5 stop bits; CSTOPB gives 2, which a receiver expecting 1.5
// (or 1) still reads correctly.
tcflag_t StopFlags(StopBits stopBits)
{
    return stopBits == StopBits::One ? 0 : CSTOPB;
}

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
    if (const auto baud = BaudOf(::cfgetospeed(&t))) settings.baud = *baud;
    switch (t.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
    }
    if (!(t.c_cflag & PARENB))
        settings.parity = Parity::None;
    else if (t.c_cflag & CMSPAR)
        settings.parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::None;  // space has no name here
    else
        settings.parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    settings.stopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
    return true;
}

bool PosixSerialDevice::ApplySettings(const LineSettings& settings)
{
    const auto charSize = CharSizeOf(settings.dataBits);
    termios t{};
    if (!charSize || ::tcgetattr(fd_, &t) != 0) return false;
    // Raw bytes: no echo, no line editing, no signals, no CR/LF translation.
    ::cfmakeraw(&t);
    // CREAD: without it the UART drops everything received. CLOCAL: the UPS
    // cable carries no carrier-detect line; without it a missing carrier
    // would hang up the line.
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= *charSize | ParityFlags(settings.parity) | StopFlags(settings.stopBits);
    // No flow control, no parity checking: 0x11/0x13 are data like any byte.
    t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IUCLC);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (const auto speed = SpeedOf(settings.baud)) {
        ::cfsetispeed(&t, *speed);
        ::cfsetospeed(&t, *speed);
    }
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
    return errno == EAGAIN || errno == EINTR ? 0 : -1;  // a full output queue never blocks us
}

int PosixSerialDevice::Waiting()
{
    // Unlike Windows, a line error (framing, overrun) leaves no state that
    // stops the input; there is nothing to clear.
    int count = 0;
    return ::ioctl(fd_, FIONREAD, &count) == 0 ? count : 0;
}

Bytes PosixSerialDevice::Read(int n)
{
    if (n <= 0) return {};
    Bytes bytes(static_cast<std::size_t>(std::min(n, kMaxReadBytes)), '\0');
    const ssize_t got = ::read(fd_, bytes.data(), bytes.size());
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

std::unique_ptr<SerialDevice> PosixPortOpener::Open(int number)
{
    const auto path = map_.DevicePath(number);
    if (!path) return nullptr;
    // Only a character device is ever opened: a regular file, a FIFO or a
    // directory named comN is left untouched, so nothing is written into it.
    struct stat st;
    if (::stat(path->c_str(), &st) != 0 || !S_ISCHR(st.st_mode)) return nullptr;
    std::error_code error;
    const std::string device = std::filesystem::canonical(*path, error).string();
    if (error) return nullptr;
    // Fails for a port the user may not open (not in "dialout") and, with
    // EBUSY, for one another program made exclusive.
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    if (!::isatty(fd)) {  // /dev/null and other character devices
        ::close(fd);
        return nullptr;
    }
    if (!TakeExclusive(fd)) {
        ::close(fd);
        return nullptr;
    }
    UucpLock lock;
    if (!lock.Take(lockDir_, device)) {
        CloseExclusive(fd);
        return nullptr;
    }
    return std::make_unique<PosixSerialDevice>(fd, std::move(lock));
}

}  // namespace tornavel
