#pragma once
#include <functional>

#include "shared/quietscreen.h"

namespace tornavel::service {

// The Screen of a unit with no window: nothing is shown. Of the messages the
// polling loop posts, the voltage-graph redraw marks the end of a monitoring
// cycle's reads: the monitor publishes the unit's record then.
class HeadlessScreen final : public QuietScreen {
public:
    explicit HeadlessScreen(std::function<void()> cycleRead) : cycleRead_(std::move(cycleRead)) {}

    void PostMessage(WindowMessage message) override
    {
        if (message == WindowMessage::DrawVolt) cycleRead_();
    }

private:
    std::function<void()> cycleRead_;
};

}  // namespace tornavel::service
