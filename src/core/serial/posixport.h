#pragma once
#include <memory>
#include <string>

#include "serial/portmap.h"
#include "serial/serialdevice.h"
#include "serial/uucplock.h"

namespace tornavel {

// A serial line through termios. The descriptor is non-blocking and reads
// return at once (VMIN = VTIME = 0), so no call ever waits for the line.
// After Close the descriptor is -1: every call then fails with EBADF and
// gives its neutral result; a hung-up line (a pulled USB adapter, a closed
// pseudo-terminal master) fails with EIO, gives the same and reads as
// vanished.
class PosixSerialDevice final : public SerialDevice {
public:
    // `device` is the node the descriptor was opened from.
    PosixSerialDevice(int fd, UucpLock lock, std::string device)
        : fd_(fd), lock_(std::move(lock)), device_(std::move(device))
    {
    }
    ~PosixSerialDevice() override { Close(); }
    PosixSerialDevice(const PosixSerialDevice&) = delete;
    PosixSerialDevice& operator=(const PosixSerialDevice&) = delete;

    bool ReadSettings(LineSettings& settings) override;
    bool ApplySettings(const LineSettings& settings) override;
    long Write(const Bytes& bytes) override;
    int Waiting() override;
    Bytes Read(int n) override;
    void Purge() override;
    void Close() override;
    // The device is gone once a call failed with EIO or ENXIO, the line hung
    // up (POLLHUP) or its node was removed.
    bool Vanished() override;

private:
    // Notes a failed call's errno that means the device has gone.
    void NoteFailure();

    int fd_;
    UucpLock lock_;
    std::string device_;
    bool vanished_ = false;
};

inline constexpr const char* kUucpLockDir = "/run/lock";
// As the lock directory: no UUCP lock file is looked at or made.
inline constexpr const char* kNoLockFiles = "";

// Opens a device file exclusively: only a character device that is a
// terminal, made exclusive (TIOCEXCL), flock'ed and covered by a UUCP lock
// file (none with kNoLockFiles). Anything else, or a device someone holds,
// is absent (null).
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& path, const std::string& lockDir);

// Opens COMn as the port map names it, through OpenSerialDevice.
class PosixPortOpener final : public PortOpener {
public:
    static constexpr const char* kLockDir = kUucpLockDir;

    explicit PosixPortOpener(PortMap map, std::string lockDir = kLockDir)
        : map_(std::move(map)), lockDir_(std::move(lockDir))
    {
    }

    std::unique_ptr<SerialDevice> Open(int number) override;
    std::optional<LockHolder> Holder(int number) override;

private:
    PortMap map_;
    std::string lockDir_;
};

// One unit named by its device path (e.g. /dev/serial/by-id/...): whatever
// the number, the same path is opened, looked up afresh at every open so a
// replugged adapter is found again.
class DevicePathOpener final : public PortOpener {
public:
    explicit DevicePathOpener(std::string path, std::string lockDir = kUucpLockDir)
        : path_(std::move(path)), lockDir_(std::move(lockDir))
    {
    }

    std::unique_ptr<SerialDevice> Open(int) override { return OpenSerialDevice(path_, lockDir_); }
    std::optional<LockHolder> Holder(int) override { return FindLockHolder(lockDir_, path_); }

private:
    std::string path_;
    std::string lockDir_;
};

}  // namespace tornavel
