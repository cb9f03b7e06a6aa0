#pragma once
#include <optional>

#include "monitor/readings.h"

namespace tornavel::service {

// When the present outage began and when the unit last went to battery, as
// seen by the monitor. A start it did not see (the unit was already on
// battery when the monitor found it, or went there while it did not answer)
// stays unknown rather than being taken as the moment it was noticed.
class OutageClock {
public:
    // A status byte read at `now`; nothing for an unreadable one.
    void Status(const std::optional<StatusFlags>& status, double now)
    {
        if (!status) return;
        if (!status->OnBattery()) {
            since_.reset();
        } else if (onBattery_ == false && !since_) {
            Transfer(now);
        }
        onBattery_ = status->OnBattery();
    }
    // The unit's "mains failure" alert: the transfer is known at once.
    void MainsFailure(double now)
    {
        if (!since_) Transfer(now);
    }
    // The link was lost: what happens until it is back is not seen.
    void Unseen()
    {
        onBattery_.reset();
        since_.reset();
    }

    std::optional<double> since() const { return since_; }
    std::optional<double> lastTransfer() const { return lastTransfer_; }

private:
    void Transfer(double now)
    {
        since_ = now;
        lastTransfer_ = now;
    }

    std::optional<bool> onBattery_;
    std::optional<double> since_;
    std::optional<double> lastTransfer_;
};

}  // namespace tornavel::service
