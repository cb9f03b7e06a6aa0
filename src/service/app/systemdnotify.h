#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tornavel::service {

// systemd's service notifications (Type=notify): datagrams to the socket
// named in $NOTIFY_SOCKET, a path or, with a leading "@", an abstract name.
// Without that variable (not run by systemd) nothing is sent.
class SystemdNotifier {
public:
    // Reads $NOTIFY_SOCKET, $WATCHDOG_USEC and $WATCHDOG_PID once.
    static SystemdNotifier FromEnvironment();

    // "READY=1", "STOPPING=1", "WATCHDOG=1"...; false when not sent.
    bool Send(const std::string& state) const;
    // WatchdogSec= in milliseconds, when systemd asks this process for pings.
    std::optional<long long> watchdogMs() const { return watchdogMs_; }

private:
    std::string socket_;
    std::optional<long long> watchdogMs_;
};

// The watchdog is fed only while every unit's thread has shown life (its
// last beat) less than `limitMs` before `nowMs`: a thread stuck for good
// makes systemd restart the service.
bool EveryThreadAlive(const std::vector<std::int64_t>& beatsMs, std::int64_t nowMs, std::int64_t limitMs);

}  // namespace tornavel::service
