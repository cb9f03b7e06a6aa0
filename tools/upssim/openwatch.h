#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace upssim {

// Tells when a port's device file is opened or closed (inotify), so that a
// program taking or releasing a port is noticed at once, even an open that
// is closed again straight away.
class OpenWatch {
public:
    struct Access {
        int watch;
        bool closed; // a close; otherwise an open
    };

    OpenWatch() = default;
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    ~OpenWatch();

    bool Start(std::string& error);
    int Fd() const { return fd_; }
    // A watch number for the file, or -1.
    int Add(const std::string& path);
    void Remove(int watch);
    // The accesses reported since the last call.
    std::vector<Access> Take();

private:
    int fd_ = -1;
};

}  // namespace upssim
