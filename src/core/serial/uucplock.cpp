#include "serial/uucplock.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace tornavel {

namespace {

constexpr int kNoPid = 0;

int CreateLockFile(const std::string& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
}

// The PID written in a lock file, or kNoPid for an unreadable one.
int LockOwner(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return kNoPid;
    char text[32] = {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return kNoPid;
    const long pid = std::strtol(text, nullptr, 10);  // skips the leading blanks
    return pid > 0 && pid <= 0x7fffffff ? static_cast<int>(pid) : kNoPid;
}

// EPERM: the process exists but belongs to another user.
bool ProcessAlive(int pid)
{
    return pid != kNoPid && (::kill(pid, 0) == 0 || errno == EPERM);
}

// A program name is shown to the user: a few dozen printable bytes at most.
constexpr std::size_t kMaxProgramName = 64;

std::string ReadSmallFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::string text(4096, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

std::string ProgramName(int pid)
{
    const std::string proc = "/proc/" + std::to_string(pid);
    // cmdline: the arguments, each ended by a zero byte; empty for a kernel
    // thread or a zombie, where comm is all there is.
    std::string name = ReadSmallFile(proc + "/cmdline");
    name = name.substr(0, name.find('\0'));
    if (name.empty()) name = ReadSmallFile(proc + "/comm");
    name = name.substr(name.find_last_of('/') + 1);
    name.erase(std::remove_if(name.begin(), name.end(), [](unsigned char c) { return c < 0x20 || c == 0x7f; }),
               name.end());
    return name.substr(0, kMaxProgramName);
}

}  // namespace

std::optional<LockHolder> FindLockHolder(const std::string& lockDir, const std::string& devicePath)
{
    std::error_code error;
    const auto device = std::filesystem::canonical(devicePath, error);
    const int pid = LockOwner(lockDir + "/" + UucpLockName(error ? devicePath : device.string()));
    if (!ProcessAlive(pid)) return std::nullopt;
    return LockHolder{pid, ProgramName(pid)};
}

std::string UucpLockName(const std::string& devicePath)
{
    static const std::string kDev = "/dev/";
    std::string name;
    if (devicePath.compare(0, kDev.size(), kDev) == 0) {
        name = devicePath.substr(kDev.size());
        name.erase(std::remove(name.begin(), name.end(), '/'), name.end());
    } else {
        name = devicePath.substr(devicePath.find_last_of('/') + 1);
    }
    return "LCK.." + name;
}

bool UucpLock::Take(const std::string& lockDir, const std::string& devicePath)
{
    Release();
    const std::string path = lockDir + "/" + UucpLockName(devicePath);
    int fd = CreateLockFile(path);
    if (fd < 0 && errno == EEXIST) {
        // Our own PID in a lock we do not hold: left by an earlier run that
        // had the same PID (PID 1 in a container), so stale all the same.
        const int owner = LockOwner(path);
        if (owner != ::getpid() && ProcessAlive(owner)) return false;
        // A stale lock in a sticky directory like /run/lock may belong to
        // another user and cannot be removed; its owner is gone all the same.
        if (::unlink(path.c_str()) != 0) return true;
        fd = CreateLockFile(path);
    }
    if (fd < 0) return errno != EEXIST;  // EEXIST: someone else took it just now
    char text[16];
    const int length = std::snprintf(text, sizeof text, "%10d\n", static_cast<int>(::getpid()));
    const bool written = ::write(fd, text, length) == length;
    ::close(fd);
    if (written)
        path_ = path;
    else
        ::unlink(path.c_str());  // a half-written PID would read as stale anyway
    return true;
}

void UucpLock::Release()
{
    if (path_.empty()) return;
    ::unlink(path_.c_str());
    path_.clear();
}

}  // namespace tornavel
