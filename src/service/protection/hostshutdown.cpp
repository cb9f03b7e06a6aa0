#include "protection/hostshutdown.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protection/shutdownflag.h"

namespace tornavel::service {

HostShutdown::HostShutdown(const ProtectOptions& options, int units, std::string bootId, EventLog& log)
    : stateDir_(options.stateDir),
      dryRun_(options.dryRun),
      bootId_(std::move(bootId)),
      units_(units),
      needed_(options.needed.value_or(units)),
      log_(log)
{
    if (dryRun_) return;
    // A cancel earlier in this boot still holds its unit (an earlier boot's is forgotten).
    if (const auto cancelled = ReadShutdownRecord(CancelledPath())) {
        if (cancelled->bootId == bootId_ && !bootId_.empty()) {
            lost_.insert(cancelled->port);
            decidedBy_ = cancelled->port;
            log_.Note(cancelled->port, "shutdown_cancelled",
                      "a shutdown cancelled earlier in this boot: nothing is decided for this unit until it is back "
                      "on mains");
        } else {
            ::unlink(CancelledPath().c_str());
        }
    }
    const auto earlier = ReadShutdownRecord(FlagPath());
    if (!earlier) return;
    if (earlier->bootId != bootId_ || bootId_.empty()) {
        ::unlink(FlagPath().c_str());  // an earlier boot's, already carried out
        return;
    }
    ::unlink(CancelledPath().c_str());  // a decision taken after the cancel
    lost_ = {earlier->port};
    decidedBy_ = earlier->port;
    decided_.store(true, std::memory_order_release);
    pending_.store(true, std::memory_order_release);
    log_.Note(earlier->port, "shutdown_pending",
              "a shutdown decided earlier in this boot is under way: " + earlier->reason);
}

std::string HostShutdown::Left() const
{
    return std::to_string(units_ - static_cast<int>(lost_.size())) + " of " + std::to_string(units_) +
           " protected units left, " + std::to_string(needed_) + " needed";
}

bool HostShutdown::UnitLost(const std::string& port, const std::string& device, const std::string& serial,
                            const std::string& reason)
{
    std::lock_guard lock(mutex_);
    if (decided_) return true;
    lost_.insert(port);
    const int left = units_ - static_cast<int>(lost_.size());
    if (left >= needed_) {
        log_.Record(Event{{},
                          port,
                          "protected_unit_lost",
                          "this unit will not last (" + reason + "); " + Left() + ": this host stays up",
                          {}});
        return true;
    }
    const std::string why = units_ > 1 ? reason + "; " + Left() : reason;
    if (dryRun_) {
        decided_.store(true, std::memory_order_release);
        log_.Record(Event{{}, port, "shutdown_dry_run", "would shut this host down: " + why, {}});
        return true;
    }
    // Recorded first: the event program and the metric must never announce a
    // shutdown that the root service will not find.
    std::string error;
    if (!WriteShutdownRecord(FlagPath(), ShutdownRecord{bootId_, port, device, serial, why, EventTimeNow()}, error)) {
        lost_.erase(port);
        log_.Record(Event{{},
                          port,
                          "shutdown_failed",
                          "cannot record the shutdown decision (tried again after two cycles): " + error,
                          {}});
        return false;
    }
    ::unlink(CancelledPath().c_str());
    decidedBy_ = port;
    decided_.store(true, std::memory_order_release);
    pending_.store(true, std::memory_order_release);
    log_.Record(Event{{}, port, "shutdown", "shutting this host down: " + why, {}});
    return true;
}

void HostShutdown::UnitBack(const std::string& port)
{
    std::lock_guard lock(mutex_);
    if (decided_ || lost_.erase(port) == 0) return;
    if (port == decidedBy_) {  // the unit of a cancelled decision
        decidedBy_.clear();
        ::unlink(CancelledPath().c_str());
        log_.Record(
            Event{{}, port, "protection_resumed", "the unit is back on mains: shutdown decisions are taken again", {}});
        return;
    }
    log_.Record(Event{{}, port, "protected_unit_back", "this unit is on line again; " + Left(), {}});
}

bool HostShutdown::Held(const std::string& port)
{
    std::lock_guard lock(mutex_);
    // Lost for a decision under way too: a cancel after a restart must
    // find the unit that decided still held.
    return lost_.count(port) > 0;
}

HostShutdown::Cancelled HostShutdown::Cancel()
{
    std::lock_guard lock(mutex_);
    if (!pending_) return {Cancelled::Outcome::NothingPending, {}};
    // Renamed, not removed: the boot id in it keeps the cancel across a
    // restart of the service, and the root path unit sees the decision go.
    if (::rename(FlagPath().c_str(), CancelledPath().c_str()) != 0 && errno != ENOENT)
        return {Cancelled::Outcome::Failed, "cannot withdraw " + FlagPath() + ": " + std::strerror(errno)};
    ::unlink(FollowersDonePath().c_str());  // a later decision waits for its followers again
    pending_.store(false, std::memory_order_release);
    decided_.store(false, std::memory_order_release);
    log_.Record(Event{{},
                      decidedBy_,
                      "shutdown_cancelled",
                      "the shutdown decision was withdrawn (tornavelctl cancel-shutdown); nothing is decided for this "
                      "unit until it is back on mains",
                      {}});
    return {Cancelled::Outcome::Withdrawn, decidedBy_};
}

}  // namespace tornavel::service
