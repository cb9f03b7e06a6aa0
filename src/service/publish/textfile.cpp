#include "publish/textfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace tornavel::service {

namespace {

// A hidden name beside the target that node_exporter ignores (it reads *.prom only).
std::string TemporaryPattern(const std::string& path)
{
    const std::filesystem::path target(path);
    return (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
}

std::string Failure(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

bool TextfileWriter::Write(const std::string& text, std::string& error) const
{
    std::string name = TemporaryPattern(path_);
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
        error = Failure("cannot write beside", path_);
        return false;
    }
    ::fchmod(fd, 0644);  // node_exporter may run as another user
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    // On disk before the rename, so a crash never leaves the target empty.
    bool written = done == text.size() && ::fsync(fd) == 0;
    if (::close(fd) != 0) written = false;
    if (written && ::rename(name.c_str(), path_.c_str()) == 0) return true;
    error = written ? Failure("cannot rename to", path_) : Failure("cannot write", name);
    ::unlink(name.c_str());
    return false;
}

}  // namespace tornavel::service
