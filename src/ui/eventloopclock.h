#pragma once
#include "clock.h"

// The window thread's clock: while it waits, the window keeps handling its
// events, so it repaints and stays responsive during a scan or a full read.
class EventLoopClock final : public tornavel::Clock {
public:
    void Sleep(int ms) override;
    std::int64_t NowMs() const override;
};
