#pragma once
#include <optional>
#include <string>

#include "monitor/readings.h"
#include "protection/deliberaterun.h"

namespace tornavel::service {

// When a host must shut down because its unit's battery will not last.
struct ProtectLimits {
    int runtimeBelowSeconds = 180;
    int chargeBelowPercent = 5;
    std::optional<int> onBatteryLongerSeconds;  // off unless given
    int linkLostSeconds = 30;
};

// One answered monitoring cycle as the policy sees it: a value is present
// only when it was read in this cycle, settled (no unanswered command before
// it) and well-formed.
struct PolicyReading {
    std::optional<StatusFlags> status;
    std::optional<double> chargePercent;
    std::optional<double> runtimeSeconds;
    bool lowBatteryAlert = false;  // the unit's own "%" since the last cycle
    DeliberateRun::Signs signs;    // what tells a calibration or self-test from an outage
    bool primaryDecided = false;   // a follower's primary has decided
};

// Decides, once, that the host must shut down. Every condition counts only
// while the unit says it is on battery, and only when two cycles in a row
// show it: one odd reading never decides. The exceptions: the battery-low
// flag together with the unit's own low-battery alert, and a followed
// primary's own decision, count at once; no valid reading for a while after
// the last one said "on battery" counts as the worst case. Time on battery
// on purpose (a calibration, a self-test) counts for nothing but a lost link.
// Times are seconds on the monotonic clock: a step of the wall clock is no
// time passing.
class ShutdownPolicy {
public:
    explicit ShutdownPolicy(ProtectLimits limits) : limits_(limits) {}

    // After each answered cycle; the reason when the decision is taken now.
    std::optional<std::string> Cycle(const PolicyReading& reading, double nowSeconds);
    // Regularly, answered or not; decides when the link stays lost on battery.
    std::optional<std::string> Tick(double nowSeconds);

    // What a restart of the service must not forget: the last valid reading
    // said "on battery" (since when, unless on purpose).
    struct Outage {
        bool onBattery = false;
        std::optional<double> since;
        bool operator==(const Outage&) const = default;
    };
    Outage CurrentOutage() const { return {lastSaidOnBattery_, onBatterySince_}; }
    // Takes up an outage saved before a restart at `nowSeconds`: the unit has
    // the link-lost time from now to answer.
    void Resume(const Outage& outage, double nowSeconds);

private:
    // Two cycles in a row: a fresh value showing the condition adds one, a
    // fresh value not showing it starts again, no fresh value changes nothing.
    struct Streak {
        int count = 0;
        bool Update(std::optional<bool> shows);
    };
    std::optional<std::string> Decide(std::string reason);
    void BackOnLine();

    ProtectLimits limits_;
    bool decided_ = false;
    std::optional<double> lastValidAt_;
    bool lastSaidOnBattery_ = false;
    std::optional<double> onBatterySince_;
    bool alertPending_ = false;  // a "%" not yet matched by the flag
    Streak batteryLow_, runtime_, charge_, longOnBattery_;
    DeliberateRun deliberate_;
};

}  // namespace tornavel::service
