#include "protection/shutdownpolicy.h"

#include <cmath>

namespace tornavel::service {

namespace {
std::string Seconds(double s)
{
    return std::to_string(static_cast<long long>(std::llround(s))) + " s";
}
}  // namespace

bool ShutdownPolicy::Streak::Update(std::optional<bool> shows)
{
    if (!shows) return false;
    count = *shows ? count + 1 : 0;
    return count >= 2;
}

std::optional<std::string> ShutdownPolicy::Decide(std::string reason)
{
    decided_ = true;
    return reason;
}

void ShutdownPolicy::BackOnLine()
{
    onBatterySince_.reset();
    alertPending_ = false;
    batteryLow_ = runtime_ = charge_ = longOnBattery_ = Streak{};
}

std::optional<std::string> ShutdownPolicy::Cycle(const PolicyReading& reading, double now)
{
    if (decided_) return std::nullopt;
    if (reading.primaryDecided) return Decide("the primary monitor has decided to shut down");
    if (reading.lowBatteryAlert) alertPending_ = true;
    // A cycle whose status cannot be read changes nothing.
    if (!reading.status) return std::nullopt;
    const StatusFlags status = *reading.status;
    lastValidAt_ = now;
    lastSaidOnBattery_ = SaysOnBattery(status);
    const DeliberateRun::Kind onPurpose = deliberate_.Reading(status, reading.signs, now);
    if (!lastSaidOnBattery_) {
        BackOnLine();
        return std::nullopt;
    }
    if (onPurpose != DeliberateRun::Kind::None) {
        // A calibration's time is no outage's; a self-test's is, should the
        // mains fail during it.
        const auto since = onPurpose == DeliberateRun::Kind::SelfTest ? onBatterySince_.value_or(now)
                                                                      : std::optional<double>();
        BackOnLine();
        onBatterySince_ = since;
        return std::nullopt;
    }
    if (!onBatterySince_) onBatterySince_ = now;

    if (status.BatteryLow() && alertPending_) return Decide("battery low (flag and the unit's alert)");
    const bool low = batteryLow_.Update(status.BatteryLow());
    const bool shortRuntime = runtime_.Update(
        reading.runtimeSeconds ? std::optional(*reading.runtimeSeconds < limits_.runtimeBelowSeconds) : std::nullopt);
    const bool lowCharge = charge_.Update(
        reading.chargePercent ? std::optional(*reading.chargePercent < limits_.chargeBelowPercent) : std::nullopt);
    const bool tooLong = limits_.onBatteryLongerSeconds &&
                         longOnBattery_.Update(now - *onBatterySince_ >= *limits_.onBatteryLongerSeconds);

    if (low) return Decide("battery low");
    if (shortRuntime)
        return Decide("runtime " + Seconds(*reading.runtimeSeconds) + " below " + Seconds(limits_.runtimeBelowSeconds));
    if (lowCharge) return Decide("charge below " + std::to_string(limits_.chargeBelowPercent) + " %");
    if (tooLong) return Decide("on battery for more than " + Seconds(*limits_.onBatteryLongerSeconds));
    return std::nullopt;
}

void ShutdownPolicy::Resume(const Outage& outage, double now)
{
    if (!outage.onBattery) return;
    lastSaidOnBattery_ = true;
    lastValidAt_ = now;
    onBatterySince_ = outage.since;
}

std::optional<std::string> ShutdownPolicy::Tick(double now)
{
    if (decided_ || !lastSaidOnBattery_ || !lastValidAt_) return std::nullopt;
    if (now - *lastValidAt_ < limits_.linkLostSeconds) return std::nullopt;
    return Decide("no valid reading for " + Seconds(now - *lastValidAt_) + " while on battery");
}

}  // namespace tornavel::service
