#pragma once
#include <cstdint>

namespace tornavel {

// Every wait of the program goes through a clock: the 100 ms samples of a
// transaction, the writer's 200 ms and 2000 ms waits, the 1000 ms pause of a
// monitoring cycle. The program sleeps for real (on the window thread while
// processing window events); tests use a virtual clock.
class Clock {
public:
    virtual ~Clock() = default;
    virtual void Sleep(int ms) = 0;
    // Monotonic: what every interval is measured on.
    virtual std::int64_t NowMs() const = 0;
    // The wall clock, for the times shown and published; it may step (an
    // NTP correction, `date -s`), so it never measures an interval. Real
    // clocks give UnixSecondsNow(); a test clock may step it.
    virtual double UnixSeconds() const;
};

// Wall-clock time as Unix seconds, to the millisecond: what the metrics and
// the event log give as a time of day. Intervals are measured on a Clock.
double UnixSecondsNow();

// Plain sleeping on the calling thread.
class SteadyClock final : public Clock {
public:
    void Sleep(int ms) override;
    std::int64_t NowMs() const override;
};

}  // namespace tornavel
