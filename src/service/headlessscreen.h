#pragma once
#include <functional>

#include "shared/screen.h"

namespace tornavel::service {

// The Screen of a unit with no window: nothing is shown. Of the messages the
// polling loop posts, the voltage-graph redraw marks the end of a monitoring
// cycle's reads: the monitor publishes the unit's record then.
class HeadlessScreen final : public Screen {
public:
    explicit HeadlessScreen(std::function<void()> cycleRead) : cycleRead_(std::move(cycleRead)) {}

    void SetText(std::string_view, const std::string&) override {}
    void SetVisible(std::string_view, bool) override {}
    void SetPicture(std::string_view, std::string_view) override {}
    void SetColor(std::string_view, std::uint32_t) override {}
    void SetValue(std::string_view, int) override {}
    void SetMaximum(std::string_view, int) override {}
    void SetRowCount(std::string_view, int) override {}
    void SetCell(std::string_view, int, int, const std::string&) override {}
    void PostMessage(WindowMessage message) override
    {
        if (message == WindowMessage::DrawVolt) cycleRead_();
    }
    void ProcessMessages() override {}

private:
    std::function<void()> cycleRead_;
};

}  // namespace tornavel::service
