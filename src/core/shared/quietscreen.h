#pragma once
#include "shared/screen.h"

namespace tornavel {

// A Screen for programs without a window: nothing is shown. A program that
// needs to hear of a posted message overrides PostMessage.
class QuietScreen : public Screen {
public:
    void SetText(std::string_view, const std::string&) override {}
    void SetVisible(std::string_view, bool) override {}
    void SetPicture(std::string_view, std::string_view) override {}
    void SetColor(std::string_view, std::uint32_t) override {}
    void SetValue(std::string_view, int) override {}
    void SetMaximum(std::string_view, int) override {}
    void SetRowCount(std::string_view, int) override {}
    void SetCell(std::string_view, int, int, const std::string&) override {}
    void PostMessage(WindowMessage) override {}
    void ProcessMessages() override {}
};

}  // namespace tornavel
