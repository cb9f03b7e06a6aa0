#pragma once
#include <string>

#include "bytes.h"
#include "protocol/devicetable.h"
#include "settings/settingchange.h"

namespace tornavel::ctl {

// What a test request came to: the unit's acknowledgement ("OK", "NO", or
// empty when it said nothing) and the status read after it.
struct TestOutcome {
    bool sent = false;
    Bytes acknowledgement;
    Bytes status;
};

// One unit, reached either over its port or through the monitor that holds
// it. Either way every change is the window's change request performed by
// the core's change writer.
class UnitAccess {
public:
    virtual ~UnitAccess() = default;
    // Connects and reads the unit's values; false with a one-line reason.
    virtual bool Open(std::string& error) = 0;
    // The unit's answers as last read (slots 1..30, and 32..37 once read).
    virtual apcrec Record() = 0;
    // Reads the power-return settings and the last self-test result and
    // transfer cause (slots 32..37), which the full read leaves out.
    virtual void ReadPowerReturn() = 0;
    virtual SettingOutcome Change(const NamedSetting& setting, const std::string& value) = 0;
    // Hands a test command ("A", "W", "U", "D") to the polling loop.
    virtual TestOutcome Test(const Bytes& command) = 0;
    // Ends the connection as the window does (the unit leaves smart mode).
    virtual void Close() = 0;
    // Which way the requests go, for the output: "monitor" or "port".
    virtual const char* Route() const = 0;
    // A person's words for it: "through tornavel-monitor, which calls it COM1".
    virtual std::string RouteText() const = 0;
};

}  // namespace tornavel::ctl
