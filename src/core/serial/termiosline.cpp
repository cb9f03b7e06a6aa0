#include "serial/termiosline.h"

#include <array>
#include <optional>
#include <utility>

namespace tornavel {

namespace {

constexpr std::array<std::pair<std::uint32_t, speed_t>, 14> kSpeeds{{
    {110, B110},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
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
// still reads correctly (the longer stop looks like an idle line).
tcflag_t StopFlags(StopBits stopBits)
{
    return stopBits == StopBits::One ? 0 : CSTOPB;
}

}  // namespace

bool MakeRawLine(const LineSettings& settings, termios& t)
{
    const auto charSize = CharSizeOf(settings.dataBits);
    if (!charSize) return false;
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
    return true;
}

void ReadLine(const termios& t, LineSettings& settings)
{
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
        settings.parity = (t.c_cflag & PARODD) ? Parity::Mark : Parity::None;  // space cannot be named
    else
        settings.parity = (t.c_cflag & PARODD) ? Parity::Odd : Parity::Even;
    settings.stopBits = (t.c_cflag & CSTOPB) ? StopBits::Two : StopBits::One;
}

}  // namespace tornavel
