#pragma once
#include <functional>

#include "shared/quietscreen.h"

namespace tornavel::service {

// The Screen of a unit with no window: nothing is shown. Of the messages the
// polling loop posts, the voltage-graph redraw marks the end of a monitoring
// cycle's reads: the monitor publishes the unit's record then. The change
// writer's completion is the window's WM_USER+9: the monitor completes the
// change itself. The full read asks for pending messages after each
// exchange: a sign of life.
class HeadlessScreen final : public QuietScreen {
public:
    HeadlessScreen(std::function<void()> cycleRead, std::function<void()> changeDone, std::function<void()> alive)
        : cycleRead_(std::move(cycleRead)), changeDone_(std::move(changeDone)), alive_(std::move(alive))
    {
    }

    void PostMessage(WindowMessage message) override
    {
        if (message == WindowMessage::DrawVolt) cycleRead_();
        if (message == WindowMessage::ChangeDone && changeDone_) changeDone_();
    }

    void ProcessMessages() override
    {
        if (alive_) alive_();
    }

private:
    std::function<void()> cycleRead_;
    std::function<void()> changeDone_;
    std::function<void()> alive_;
};

}  // namespace tornavel::service
