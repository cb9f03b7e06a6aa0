#pragma once
#include "monitor/pollevents.h"
#include "shared/screen.h"

// Shows what a connection and its polling loop report, on the window
// (through `screen`, so in the order reported), and hands every event on to
// `next` (the session's history), which hears them all as before.
class WindowPresenter final : public tornavel::PollEvents {
public:
    WindowPresenter(tornavel::Screen& screen, tornavel::PollEvents& next) : screen_(screen), next_(next) {}

    void ExchangeBusy(bool busy) override;
    void FullReadProgress(int slot) override { next_.FullReadProgress(slot); }
    void Connected(const tornavel::apcrec& record) override { next_.Connected(record); }
    void CycleRead(const tornavel::CycleReport& cycle) override { next_.CycleRead(cycle); }
    void UnitSilent() override { next_.UnitSilent(); }
    void ChangeDone(const tornavel::Bytes& readBack) override { next_.ChangeDone(readBack); }
    void TestAnswered(const tornavel::Bytes& command, const tornavel::Bytes& answer) override
    {
        next_.TestAnswered(command, answer);
    }
    void Alert(const tornavel::Bytes& token) override { next_.Alert(token); }
    void LineGone() override { next_.LineGone(); }

private:
    tornavel::Screen& screen_;
    tornavel::PollEvents& next_;
};
