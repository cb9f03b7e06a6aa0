#include "protection/deliberaterun.h"

namespace tornavel::service {

DeliberateRun::Kind DeliberateRun::Reading(StatusFlags status, const Signs& signs, double now)
{
    const bool onBattery = SaysOnBattery(status);
    const bool transferSeen = onBattery && lastOnBattery_ == false && !signs.linkResumed;
    lastOnBattery_ = onBattery;

    // A test of ours may be acknowledged while the status still says on line:
    // it starts the test's time all the same.
    if (signs.selfTestStarted || signs.simulatedFailureStarted) {
        testSince_ = now;
        alertExpected_ = signs.simulatedFailureStarted;
    } else if (!onBattery) {
        testSince_.reset();
        alertExpected_ = false;
    }
    if (!onBattery) mainsFailed_ = false;
    // A "!" may come with a status read just before the transfer: it still
    // tells about the time on battery that follows.
    if (signs.mainsFailureAlert) {
        if (alertExpected_)
            alertExpected_ = false;
        else
            mainsFailed_ = true;
    }

    if (!onBattery || mainsFailed_) return Kind::None;
    if (status.Calibrating()) return Kind::Calibration;
    if (transferSeen && !testSince_) testSince_ = now;
    if (testSince_ && now - *testSince_ < kSelfTestSeconds) return Kind::SelfTest;
    return Kind::None;
}

}  // namespace tornavel::service
