#pragma once

#include "device.h"
#include "timers.h"

// A line full of noise: every received byte is answered with a burst of
// random bytes (NUL, 8-bit, CR and LF included, never exactly "Y"), and
// bursts also come unasked every one to five seconds.
class GarbageTalker : public Device {
public:
    GarbageTalker(Line& line, std::mt19937& random, double now);

    void receive(unsigned char byte, double now) override;
    void tick(double now) override { timers_.run(now); }
    double nextWake() const override { return timers_.next(); }

private:
    std::string burst();
    void scheduleChatter(double now);

    Line& line_;
    std::mt19937& random_;
    Timers timers_;
};
