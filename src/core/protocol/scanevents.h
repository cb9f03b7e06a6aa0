#pragma once
#include <vector>

#include "protocol/devicetable.h"
#include "protocol/exchangeevents.h"
#include "serial/uucplock.h"

namespace tornavel {

// A port another program holds, and who holds it.
struct HeldPort {
    int number = 0;
    LockHolder holder;
};

// What a port scan reports, in the order it happens, on the thread that runs
// it (the window's). The window's presenter shows it; the core says only
// what happened.
class ScanEvents : public ExchangeEvents {
public:
    virtual ~ScanEvents() = default;
    // The scan began: no unit is known any more; the free ports are sought.
    virtual void ScanStarted() = 0;
    // Free ports were found; what answers on each is being asked.
    virtual void IdentifyingUnits() = 0;
    // The scan ended. `table` lists the free ports with what answers on each
    // (empty when there was none); `held` the ports other programs hold, in
    // port order, which are never listed.
    virtual void ScanEnded(const DeviceTable& table, const std::vector<HeldPort>& held) = 0;
};

}  // namespace tornavel
