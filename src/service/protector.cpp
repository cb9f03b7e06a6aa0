#include "protector.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

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
    // A cancel earlier in this boot still holds (an earlier boot's is forgotten).
    if (const auto cancelled = ReadShutdownRecord(CancelledPath())) {
        held_ = cancelled->bootId == bootId_ && !bootId_.empty();
        if (held_)
            log_.Note(port_, "shutdown_cancelled",
                      "a shutdown cancelled earlier in this boot: nothing is decided until the unit is back on mains");
        else
            ::unlink(CancelledPath().c_str());
    }
    const auto earlier = ReadShutdownRecord(FlagPath());
    if (!earlier) return;
    if (earlier->bootId != bootId_ || bootId_.empty()) {
        ::unlink(FlagPath().c_str());  // an earlier boot's, already carried out
        return;
    }
    held_ = false;  // a decision taken after the cancel
    ::unlink(CancelledPath().c_str());
    policy_.Restore();
    pending_.store(true, std::memory_order_release);
    log_.Note(port_, "shutdown_pending", "a shutdown decided earlier in this boot is under way: " + earlier->reason);
}

void Protector::Identified(std::string serial)
{
    std::lock_guard lock(mutex_);
    serial_ = std::move(serial);
}

void Protector::Cycle(const PolicyReading& reading, double now)
{
    std::lock_guard lock(mutex_);
    if (held_ && !Resumes(reading)) return;
    if (const auto reason = policy_.Cycle(reading, now)) CarryOut(*reason);
}

void Protector::Tick(double now)
{
    std::lock_guard lock(mutex_);
    if (held_) return;
    if (const auto reason = policy_.Tick(now)) CarryOut(*reason);
}

bool Protector::Resumes(const PolicyReading& reading)
{
    // A settled status that is not "on battery" alone; a followed primary's
    // decision is not looked at until then.
    if (!reading.status || (reading.status->OnBattery() && !reading.status->OnLine())) return false;
    held_ = false;
    ::unlink(CancelledPath().c_str());
    policy_ = ShutdownPolicy(limits_);
    log_.Record(Event{{}, port_, "protection_resumed", "the unit is back on mains: shutdown decisions are taken again", {}});
    return true;
}

Protector::Cancelled Protector::Cancel(std::string& error)
{
    std::lock_guard lock(mutex_);
    if (!pending_.load(std::memory_order_acquire)) return Cancelled::NothingPending;
    // Renamed, not removed: the boot id in it keeps the cancel across a
    // restart of the service, and the root path unit sees the decision go.
    if (::rename(FlagPath().c_str(), CancelledPath().c_str()) != 0 && errno != ENOENT) {
        error = "cannot withdraw " + FlagPath() + ": " + std::strerror(errno);
        return Cancelled::Failed;
    }
    pending_.store(false, std::memory_order_release);
    held_ = true;
    policy_ = ShutdownPolicy(limits_);
    log_.Record(Event{{}, port_, "shutdown_cancelled",
                      "the shutdown decision was withdrawn (tornavelctl cancel-shutdown); nothing is decided for this "
                      "unit until it is back on mains",
                      {}});
    return Cancelled::Withdrawn;
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
        WriteShutdownRecord(FlagPath(), ShutdownRecord{bootId_, port_, device_, serial_, reason, EventTimeNow()}, error);
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
