#pragma once
#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "events/eventlog.h"
#include "protection/protectoptions.h"

namespace tornavel::service {

// The host's one decision to shut down, for every unit that protects it
// (watched here or followed on a primary). A unit whose battery will not
// last can no longer feed the host; the host goes down when fewer units than
// needed still can (by default all of them: the first unit lost decides).
// Carrying the decision out means recording it where the root
// tornavel-shutdown service acts on it, then the "shutdown" event; a dry run
// only logs "shutdown_dry_run". A decision recorded earlier in this boot (the
// service restarted during the outage) is kept and never taken twice.
//
// A cancel (tornavelctl cancel-shutdown) withdraws a recorded decision: its
// file is renamed to "cancelled", and the units lost stay lost until they
// are back on mains, restarts of the service in this boot included (the
// cancelled file names the unit that decided). So a cancelled shutdown is
// not decided again at once, on the same outage; another unit lost still
// counts.
class HostShutdown {
public:
    HostShutdown(const ProtectOptions& options, int units, std::string bootId, EventLog& log);

    // From a unit's protector: it can no longer feed the host. False when
    // the decision this took could not be recorded: the unit's policy must
    // take it again.
    bool UnitLost(const std::string& port, const std::string& device, const std::string& serial,
                  const std::string& reason);
    // The lost unit is back on line and can feed the host again.
    void UnitBack(const std::string& port);
    // Whether the unit is held lost: it decided the shutdown under way, or a
    // cancel earlier in this boot holds it until it is back on mains.
    bool Held(const std::string& port);

    struct Cancelled {
        enum class Outcome { NothingPending, Withdrawn, Failed } outcome;
        std::string port;  // the unit that decided (Withdrawn), or why it failed (Failed)
    };
    // From the control socket.
    Cancelled Cancel();

    bool Decided() const { return decided_.load(std::memory_order_acquire); }
    // Decided and recorded (never in a dry run): published as shutdown_pending.
    bool Pending() const { return pending_.load(std::memory_order_acquire); }

    const std::string& stateDir() const { return stateDir_; }
    const std::string& bootId() const { return bootId_; }
    bool dryRun() const { return dryRun_; }

private:
    std::string FlagPath() const { return stateDir_ + "/shutdown"; }
    std::string CancelledPath() const { return stateDir_ + "/cancelled"; }
    std::string FollowersDonePath() const { return stateDir_ + "/followers-done"; }
    std::string Left() const;

    const std::string stateDir_;
    const bool dryRun_;
    const std::string bootId_;
    const int units_;
    const int needed_;
    EventLog& log_;
    std::mutex mutex_;
    std::set<std::string> lost_;
    std::string decidedBy_;  // the port of the decision recorded (or of the one cancelled)
    std::atomic<bool> decided_{false};
    std::atomic<bool> pending_{false};
};

}  // namespace tornavel::service
