#include "protection/shutdownflag.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>

namespace tornavel::service {

namespace {

// One line per value: a line end inside a value would forge another key.
std::string OneLine(std::string text)
{
    for (char& c : text)
        if (c == '\n' || c == '\r') c = ' ';
    return text;
}

bool WriteAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

std::string CurrentBootId(const std::string& path)
{
    std::ifstream in(path);
    std::string id;
    std::getline(in, id);
    return id;
}

bool WriteShutdownRecord(const std::string& path, const ShutdownRecord& record, std::string& error)
{
    const std::string text = "boot_id=" + OneLine(record.bootId) + "\nport=" + OneLine(record.port) +
                             "\ndevice=" + OneLine(record.device) + "\nserial=" + OneLine(record.serial) +
                             "\nreason=" + OneLine(record.reason) + "\ntime=" + OneLine(record.time) + "\n";
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = temporary + ": " + std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, text) && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ::close(fd);
    if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": " + std::strerror(written ? errno : savedErrno);
        ::unlink(temporary.c_str());
        return false;
    }
    // The rename itself must survive a power cut too.
    const std::string dir = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    if (const int dirFd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

std::optional<ShutdownRecord> ReadShutdownRecord(const std::string& path)
{
    std::ifstream in(path);
    if (!in) return std::nullopt;
    ShutdownRecord record;
    for (std::string line; std::getline(in, line);) {
        const auto equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals);
        const std::string value = line.substr(equals + 1);
        if (key == "boot_id") record.bootId = value;
        if (key == "port") record.port = value;
        if (key == "device") record.device = value;
        if (key == "serial") record.serial = value;
        if (key == "reason") record.reason = value;
        if (key == "time") record.time = value;
    }
    return record;
}

}  // namespace tornavel::service
