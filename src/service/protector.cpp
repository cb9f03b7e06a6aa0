#include "protector.h"

#include <unistd.h>

#include "shutdownflag.h"

namespace tornavel::service {

Protector::Protector(std::string port, std::string device, const ProtectOptions& options, EventLog& log,
                     std::string bootId)
    : port_(std::move(port)),
      device_(std::move(device)),
      stateDir_(options.stateDir),
      dryRun_(options.dryRun),
      bootId_(std::move(bootId)),
      limits_(options.limits),
      log_(log),
      policy_(options.limits)
{
    if (dryRun_) return;
    const auto earlier = ReadShutdownRecord(FlagPath());
    if (!earlier) return;
    if (earlier->bootId != bootId_ || bootId_.empty()) {
        ::unlink(FlagPath().c_str());  // an earlier boot's, already carried out
        return;
    }
    policy_.Restore();
    pending_.store(true, std::memory_order_release);
    log_.Note(port_, "shutdown_pending", "a shutdown decided earlier in this boot is under way: " + earlier->reason);
}

void Protector::Cycle(const PolicyReading& reading, double now)
{
    std::lock_guard lock(mutex_);
    if (const auto reason = policy_.Cycle(reading, now)) CarryOut(*reason);
}

void Protector::Tick(double now)
{
    std::lock_guard lock(mutex_);
    if (const auto reason = policy_.Tick(now)) CarryOut(*reason);
}

void Protector::CarryOut(const std::string& reason)
{
    if (dryRun_) {
        log_.Record(Event{{}, port_, "shutdown_dry_run", "would shut this host down: " + reason, {}});
        return;
    }
    // Recorded first: the event program and the metric must never announce a
    // shutdown that the root service will not find.
    std::string error;
    const bool recorded =
        WriteShutdownRecord(FlagPath(), ShutdownRecord{bootId_, port_, device_, reason, EventTimeNow()}, error);
    if (!recorded) {
        log_.Record(Event{{}, port_, "shutdown_failed",
                          "cannot record the shutdown decision (tried again after two cycles): " + error, {}});
        policy_ = ShutdownPolicy(limits_);
        return;
    }
    pending_.store(true, std::memory_order_release);
    log_.Record(Event{{}, port_, "shutdown", "shutting this host down: " + reason, {}});
}

}  // namespace tornavel::service
