#pragma once
#include <optional>
#include <string>
#include <utility>

namespace tornavel {

// "LCK.." + the device's name under /dev with the slashes dropped
// (/dev/ttyS0 -> LCK..ttyS0, /dev/pts/3 -> LCK..pts3); for a device outside
// /dev, its file name.
std::string UucpLockName(const std::string& devicePath);

// The live process that holds a device's UUCP lock file.
struct LockHolder {
    int pid = 0;
    // The holder's program name: the file name of its first command-line
    // word (/proc/PID/comm would cut "tornavel-monitor" to 15 bytes), with
    // control characters dropped; empty where /proc does not show it.
    std::string program;
};

// Who holds the lock of the device at devicePath (a link is followed to the
// device, as opening the port does); nothing when the lock file is missing,
// unreadable or left by a process that is gone.
std::optional<LockHolder> FindLockHolder(const std::string& lockDir, const std::string& devicePath);

// The UUCP lock file, <lock dir>/LCK..<name> holding the owner's PID as ten
// ASCII digits and a newline: the way serial programs (minicom, picocom, the
// old uucp tools) tell each other that a port is taken.
class UucpLock {
public:
    UucpLock() = default;
    UucpLock(UucpLock&& other) noexcept : path_(std::exchange(other.path_, {})) {}
    UucpLock& operator=(UucpLock&&) = delete;
    ~UucpLock() { Release(); }

    // False when a live process holds the device's lock file. A lock file
    // whose owner is gone, or that names this process, is taken over. Where no lock file can be made (no
    // lock directory, or not ours to write) the port goes without one: true.
    bool Take(const std::string& lockDir, const std::string& devicePath);
    void Release();

    // The lock file we hold, or empty.
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

}  // namespace tornavel
