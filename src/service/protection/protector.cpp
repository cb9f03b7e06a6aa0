#include "protection/protector.h"

namespace tornavel::service {

Protector::Protector(std::string port, std::string device, const ProtectOptions& options, HostShutdown& host,
                     EventLog& log, const Clock& clock, std::optional<OutageState> outageFile)
    : port_(std::move(port)),
      device_(std::move(device)),
      limits_(options.limits),
      host_(host),
      log_(log),
      clock_(clock),
      outageFile_(std::move(outageFile)),
      policy_(options.limits),
      lost_(host_.Held(port_))
{
    if (!outageFile_ || host_.Decided()) return;
    const auto outage = outageFile_->Load();
    if (!outage || !outage->onBattery) return;
    saved_ = *outage;
    policy_.Resume(*outage, Now());
    log_.Note(port_, "outage_resumed",
              "the unit was on battery at the last reading before the restart; a lost link counts from now");
}

void Protector::Identified(std::string serial)
{
    std::lock_guard lock(mutex_);
    serial_ = std::move(serial);
}

void Protector::Cycle(const PolicyReading& reading)
{
    std::lock_guard lock(mutex_);
    if (host_.Decided()) return;
    if (lost_) {
        // Lost, the unit counts again once it says it is on line.
        if (!reading.status || SaysOnBattery(*reading.status)) return;
        lost_ = false;
        policy_ = ShutdownPolicy(limits_);
        host_.UnitBack(port_);
    }
    if (const auto reason = policy_.Cycle(reading, Now())) Lost(*reason);
    SaveOutage();
}

void Protector::Tick()
{
    std::lock_guard lock(mutex_);
    if (host_.Decided() || lost_) return;
    if (const auto reason = policy_.Tick(Now())) Lost(*reason);
}

void Protector::Lost(const std::string& reason)
{
    if (host_.UnitLost(port_, device_, serial_, reason))
        lost_ = true;
    else
        policy_ = ShutdownPolicy(limits_);  // not recorded: decided again later
}

void Protector::SaveOutage()
{
    const ShutdownPolicy::Outage outage = policy_.CurrentOutage();
    if (!outageFile_ || outage == saved_) return;
    std::string error;
    const bool saved = outageFile_->Save(outage, error);
    if (saved) saved_ = outage;
    // A failure is logged once, and again only after a save succeeded.
    if (!saved && !saveFailing_) log_.Note(port_, "outage_not_saved", error);
    saveFailing_ = !saved;
}

}  // namespace tornavel::service
