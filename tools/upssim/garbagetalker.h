#pragma once

#include "device.h"
#include "timers.h"

namespace upssim {

// A line full of noise: every received byte is answered with a Burst of
// random bytes (NUL, 8-bit, CR and LF included, never exactly "Y"), and
// bursts also come unasked every one to five seconds.
class GarbageTalker : public Device {
public:
    GarbageTalker(Line& line, std::mt19937& random, double now);

    void Receive(unsigned char byte, double now) override;
    void Tick(double now) override { timers_.Run(now); }
    double NextWake() const override { return timers_.Next(); }

private:
    std::string Burst();
    void ScheduleChatter(double now);

    Line& line_;
    std::mt19937& random_;
    Timers timers_;
};

}  // namespace upssim
