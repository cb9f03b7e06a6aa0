#pragma once

namespace tornavel {

// Hears when an exchange with a unit begins and ends, for the exchanges a
// user waits on (the scan, the full read, a setting change): the window shows
// its busy light meanwhile. By default nobody is told.
class ExchangeEvents {
public:
    virtual ~ExchangeEvents() = default;
    virtual void ExchangeBusy(bool /*busy*/) {}
};

}  // namespace tornavel
