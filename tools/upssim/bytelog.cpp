#include "bytelog.h"

#include "clockms.h"
#include "escapes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace upssim {

ByteLog::~ByteLog()
{
    if (fd_ >= 0) ::close(fd_);
}

bool ByteLog::Open(const std::string& path, std::string& error)
{
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) error = "cannot open log " + path + ": " + std::strerror(errno);
    return fd_ >= 0;
}

void ByteLog::Received(const std::string& port, unsigned char byte)
{
    WriteLine(port, '<', HexBytes(std::string(1, static_cast<char>(byte))));
}

void ByteLog::Sent(const std::string& port, std::string_view bytes)
{
    WriteLine(port, '>', HexBytes(bytes));
}

void ByteLog::Dropped(const std::string& port, std::string_view bytes)
{
    WriteLine(port, 'x', HexBytes(bytes));
}

void ByteLog::Note(const std::string& port, std::string_view text)
{
    WriteLine(port, '*', text);
}

void ByteLog::WriteLine(const std::string& port, char direction, std::string_view payload)
{
    if (fd_ < 0) return;
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%.1f ", NowMs());
    std::string text = stamp;
    text += port;
    text += ' ';
    text += direction;
    text += ' ';
    text += payload;
    text += '\n';
    // A log that cannot be written (disk full) must not stop the simulation.
    [[maybe_unused]] const ssize_t written = ::write(fd_, text.data(), text.size());
}

}  // namespace upssim
