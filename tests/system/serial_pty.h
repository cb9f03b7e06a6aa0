#pragma once
// Pseudo-terminals, temporary directories and environment changes for the
// tests of the real serial layer.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>

#include "serial/serialdevice.h"

#include "test_files.h"

namespace tornavel::testing {

// Every wait for bytes ends after this long: it keeps a broken build from
// hanging, it is not a measured time (generous, for a loaded machine).
constexpr auto kIoPatience = std::chrono::seconds(30);

// Kills the test program if a test hangs (a blocking read, a stuck write)
// instead of leaving it to wait forever.
class HangGuard {
public:
    HangGuard() { ::alarm(60); }
    ~HangGuard() { ::alarm(0); }
};

// Sets (or with nullopt removes) an environment variable for one test.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name)
    {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value)
            ::setenv(name, value->c_str(), 1);
        else
            ::unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (old_)
            ::setenv(name_, old_->c_str(), 1);
        else
            ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// A fresh pseudo-terminal: the master plays the far end of the cable, the
// slave (left in its default cooked mode) is the port under test.
class Pty {
public:
    Pty()
    {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
            throw std::runtime_error("no pseudo-terminal");
        slavePath_ = ::ptsname(master_);
    }
    ~Pty() { CloseMaster(); }
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& slavePath() const { return slavePath_; }
    int master() const { return master_; }

    // Pulls the cable: the slave is hung up.
    void CloseMaster()
    {
        if (master_ >= 0) ::close(master_);
        master_ = -1;
    }

    // The slave's line settings, seen through the master.
    termios SlaveSettings() const
    {
        termios t{};
        ::tcgetattr(master_, &t);
        return t;
    }
    void SetSlaveSettings(const termios& t) const { ::tcsetattr(master_, TCSANOW, &t); }

    // Sends all bytes towards the port; false if they did not fit in time.
    bool Send(const std::string& bytes) const
    {
        const auto deadline = std::chrono::steady_clock::now() + kIoPatience;
        std::size_t done = 0;
        while (done < bytes.size() && std::chrono::steady_clock::now() < deadline) {
            const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done == bytes.size();
    }

    // What the port sent, up to count bytes or until the patience runs out.
    std::string Receive(std::size_t count) const
    {
        const auto deadline = std::chrono::steady_clock::now() + kIoPatience;
        std::string got;
        char buffer[4096];
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            pollfd p{master_, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0) continue;
            const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
            if (n > 0) got.append(buffer, static_cast<std::size_t>(n));
        }
        return got;
    }

private:
    int master_ = -1;
    std::string slavePath_;
};

// What the port received, up to count bytes or until the patience runs out,
// read the way the program reads: count what is waiting, read that much.
inline std::string ReceiveFromDevice(SerialDevice& device, std::size_t count)
{
    const auto deadline = std::chrono::steady_clock::now() + kIoPatience;
    std::string got;
    while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
        const int waiting = device.Waiting();
        if (waiting > 0)
            got += device.Read(waiting);
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return got;
}

}  // namespace tornavel::testing
