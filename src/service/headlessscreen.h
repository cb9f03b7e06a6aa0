#pragma once
#include <functional>

#include "shared/quietscreen.h"

namespace tornavel::service {

// The Screen of a unit with no window: nothing is shown. Of the messages the
// polling loop posts, the voltage-graph redraw marks the end of a monitoring
// cycle's reads: the monitor publishes the unit's record then. The full read
// asks for pending messages after each exchange: a sign of life.
class HeadlessScreen final : public QuietScreen {
public:
    HeadlessScreen(std::function<void()> cycleRead, std::function<void()> alive)
        : cycleRead_(std::move(cycleRead)), alive_(std::move(alive))
    {
    }

    void PostMessage(WindowMessage message) override
    {
        if (message == WindowMessage::DrawVolt) cycleRead_();
    }

    void ProcessMessages() override { alive_(); }

private:
    std::function<void()> cycleRead_;
    std::function<void()> alive_;
};

}  // namespace tornavel::service
