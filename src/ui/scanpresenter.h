#pragma once
#include "protocol/scanevents.h"
#include "shared/screen.h"

// Shows a port scan: the status line's texts for each phase (each one
// handled by the window at once, so the user sees it while the scan runs),
// the grid of units found, the ports other programs hold, and the busy light
// while a port is asked.
class ScanPresenter final : public tornavel::ScanEvents {
public:
    explicit ScanPresenter(tornavel::Screen& screen) : screen_(screen) {}

    void ScanStarted() override;
    void IdentifyingUnits() override;
    void ScanEnded(const tornavel::DeviceTable& table, const std::vector<tornavel::HeldPort>& held) override;
    void ExchangeBusy(bool busy) override;

private:
    void ShowDeviceGrid(const tornavel::DeviceTable& table);

    tornavel::Screen& screen_;
};
