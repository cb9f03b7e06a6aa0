#include "hostshutdown.h"

#include <unistd.h>

#include "shutdownflag.h"

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
    const auto earlier = ReadShutdownRecord(FlagPath());
    if (!earlier) return;
    if (earlier->bootId != bootId_ || bootId_.empty()) {
        ::unlink(FlagPath().c_str());  // an earlier boot's, already carried out
        return;
    }
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

bool HostShutdown::UnitLost(const std::string& port, const std::string& device, const std::string& reason)
{
    std::lock_guard lock(mutex_);
    if (decided_) return true;
    lost_.insert(port);
    const int left = units_ - static_cast<int>(lost_.size());
    if (left >= needed_) {
        log_.Record(Event{{}, port, "protected_unit_lost",
                          "this unit will not last (" + reason + "); " + Left() + ": this host stays up", {}});
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
    if (!WriteShutdownRecord(FlagPath(), ShutdownRecord{bootId_, port, device, why, EventTimeNow()}, error)) {
        lost_.erase(port);
        log_.Record(Event{{}, port, "shutdown_failed",
                          "cannot record the shutdown decision (tried again after two cycles): " + error, {}});
        return false;
    }
    decided_.store(true, std::memory_order_release);
    pending_.store(true, std::memory_order_release);
    log_.Record(Event{{}, port, "shutdown", "shutting this host down: " + why, {}});
    return true;
}

void HostShutdown::UnitBack(const std::string& port)
{
    std::lock_guard lock(mutex_);
    if (decided_ || lost_.erase(port) == 0) return;
    log_.Record(Event{{}, port, "protected_unit_back", "this unit is on line again; " + Left(), {}});
}

}  // namespace tornavel::service
