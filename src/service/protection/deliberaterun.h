#pragma once
#include <optional>

#include "monitor/readings.h"

namespace tornavel::service {

// Whether a unit is on battery on purpose: a runtime calibration, or a
// self-test (from the unit's panel, its own schedule, the window or
// tornavelctl). Only what the unit shows counts, and doubt counts as an
// outage:
// - a calibration: while the status byte's calibration bit is set;
// - a self-test: from a transfer to battery seen between two readings in a
//   row without the unit's mains-failure alert ("!"), or from a battery test
//   or simulated mains failure this monitor asked for, for at most
//   kSelfTestSeconds;
// - the unit's "!" ends either for the rest of the time on battery: the
//   mains did fail. The one "!" that a simulated mains failure sends by
//   design is the exception.
// A transfer not seen (the link was lost, the monitor just started) is no
// self-test.
class DeliberateRun {
public:
    // Longer than any unit's self-test or simulated mains failure.
    static constexpr double kSelfTestSeconds = 30;

    enum class Kind { None, Calibration, SelfTest };

    struct Signs {
        bool mainsFailureAlert = false;        // "!" since the last reading
        bool selfTestStarted = false;          // our "W" acknowledged
        bool simulatedFailureStarted = false;  // our "U" acknowledged
        bool linkResumed = false;              // readings before this one may be missing
    };

    // One reading with a status, at `now` (monotonic seconds): what the time
    // on battery it shows is, if on purpose.
    Kind Reading(StatusFlags status, const Signs& signs, double now);

private:
    std::optional<bool> lastOnBattery_;
    std::optional<double> testSince_;
    bool alertExpected_ = false;  // our simulated mains failure's own "!"
    bool mainsFailed_ = false;    // a "!" that no test of ours explains
};

// On battery as a unit means it: both "on line" and "on battery" at once is
// no state a unit is in.
inline bool SaysOnBattery(StatusFlags status)
{
    return status.OnBattery() && !status.OnLine();
}

}  // namespace tornavel::service
