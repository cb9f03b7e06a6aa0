#pragma once
#include <memory>
#include <optional>

#include "clock.h"
#include "monitor/pollingloop.h"
#include "portname.h"
#include "serial/comport.h"
#include "serial/notingopener.h"
#include "session.h"
#include "shared/quietscreen.h"
#include "unitaccess.h"

namespace tornavel::ctl {

// A unit on a port that no monitor holds: opened exclusively, "Y" answered
// "SM", the full read, changes by the change writer one request at a time,
// tests by one pass of the polling loop, and "R" with the window's second
// of waiting before the port is closed.
class DirectUnit final : public UnitAccess, private ChangePath {
public:
    DirectUnit(const PortName& port, std::unique_ptr<PortOpener> opener, Clock& clock);
    ~DirectUnit() override;

    bool Open(std::string& error) override;
    apcrec Record() override;
    void ReadPowerReturn() override;
    SettingOutcome Change(const NamedSetting& setting, const std::string& value) override;
    TestOutcome Test(const Bytes& command) override;
    void Close() override;
    const char* Route() const override { return "port"; }
    std::string RouteText() const override { return "on the port itself"; }

private:
    std::optional<Bytes> Perform(const ChangeRequestTexts& request) override;
    bool Stopped() override;

    PortName name_;
    std::unique_ptr<PortOpener> inner_;
    NotingOpener opener_;
    QuietScreen screen_;
    Session session_;
    ComPort port_;
    ChangeWriter writer_;
    PollingLoop loop_;
    Bytes acknowledgement_;
};

}  // namespace tornavel::ctl
