#include "openwatch.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace upssim {

OpenWatch::~OpenWatch()
{
    if (fd_ >= 0) ::close(fd_);
}

bool OpenWatch::Start(std::string& error)
{
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) error = std::string("cannot watch the ports (inotify): ") + std::strerror(errno);
    return fd_ >= 0;
}

int OpenWatch::Add(const std::string& path)
{
    return ::inotify_add_watch(fd_, path.c_str(), IN_OPEN | IN_CLOSE);
}

void OpenWatch::Remove(int watch)
{
    if (watch >= 0) ::inotify_rm_watch(fd_, watch);
}

std::vector<OpenWatch::Access> OpenWatch::Take()
{
    std::vector<Access> accesses;
    alignas(inotify_event) char buffer[4096];
    ssize_t count;
    while ((count = ::read(fd_, buffer, sizeof buffer)) > 0) {
        for (ssize_t at = 0; at < count;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.mask & (IN_OPEN | IN_CLOSE)) accesses.push_back({event.wd, (event.mask & IN_CLOSE) != 0});
            at += static_cast<ssize_t>(sizeof event + event.len);
        }
    }
    return accesses;
}

}  // namespace upssim
