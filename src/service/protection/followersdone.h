#pragma once
#include <string>
#include <vector>

#include "events/eventlog.h"

namespace tornavel::service {

// Tells the root tornavel-shutdown service that this host's followers are
// down, so that it powers the host off without waiting out its limit: the
// file `path` holding the boot id, written once no follower is attached any
// more. Followers are known only from their visits, so none is taken as gone
// before `listenUntil` (monotonic seconds): each has had time to come back
// after the monitor started.
class FollowersDone {
public:
    FollowersDone(std::string path, std::string bootId, EventLog& log, double listenUntil)
        : path_(std::move(path)), bootId_(std::move(bootId)), log_(log), listenUntil_(listenUntil)
    {
    }

    // Every second once this host's shutdown is pending; true once written.
    bool Check(const std::vector<std::string>& attached, double now);
    // The decision was withdrawn: the next one is waited for anew.
    void Reset() { written_ = waitingLogged_ = false; }

private:
    const std::string path_;
    const std::string bootId_;
    EventLog& log_;
    const double listenUntil_;
    bool written_ = false;
    bool waitingLogged_ = false;
    bool failingLogged_ = false;
};

}  // namespace tornavel::service
