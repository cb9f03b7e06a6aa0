#pragma once
#include "monitor/pollevents.h"
#include "shared/screen.h"
#include "staleness.h"

// Shows what a connection and its polling loop report, on the window
// (through `screen`, so in the order reported), and hands every event on to
// `next` (the session's history), which hears them all as before.
class WindowPresenter final : public tornavel::PollEvents {
public:
    WindowPresenter(tornavel::Screen& screen, tornavel::PollEvents& next)
        : screen_(screen), next_(next), staleness_(screen)
    {
    }

    void ExchangeBusy(bool busy) override;
    void FullReadStarted() override;
    void FullReadProgress(int slot) override;
    void Connected(const tornavel::apcrec& record) override;
    void PollingStarted() override;
    void PassStarted() override;
    void TestRequestServed() override;
    void ValueRead(int slot, const tornavel::Bytes& answer) override;
    void CycleRead(const tornavel::CycleReport& cycle) override;
    void Pausing() override;
    void UnitSilent() override { next_.UnitSilent(); }
    void ChangeDone(const tornavel::Bytes& readBack) override { next_.ChangeDone(readBack); }
    void TestAnswered(const tornavel::Bytes& command, const tornavel::Bytes& answer) override
    {
        next_.TestAnswered(command, answer);
    }
    void Alert(const tornavel::Bytes& token) override;
    void LineGone() override { next_.LineGone(); }
    void ConnectionClosed(int port, bool deviceGone) override;

private:
    tornavel::Screen& screen_;
    tornavel::PollEvents& next_;
    // Used on the polling thread only.
    tornavel::Staleness staleness_;
};
