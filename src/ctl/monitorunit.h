#pragma once
#include <optional>
#include <string>
#include <vector>

#include "portname.h"
#include "unitaccess.h"

namespace tornavel::ctl {

// A unit that tornavel-monitor holds, reached through its control socket:
// the monitor's polling loop performs each request between two cycles.
class MonitorUnit final : public UnitAccess {
public:
    // How the monitor answered a first read of the port.
    enum class Reach {
        NoMonitor,  // nothing listens on the socket
        Refused,    // a monitor is there but will not serve this user
        NotHeld,    // the monitor does not watch this port
        OtherUnit,  // the monitor calls another device by this port's name
        Held,       // the monitor watches this device: requests go there
    };

    MonitorUnit(std::string socketPath, PortName port) : socketPath_(std::move(socketPath)), port_(std::move(port)) {}

    Reach Probe();
    // Why Probe did not give Held, for a message.
    const std::string& why() const { return why_; }

    bool Open(std::string& error) override;
    apcrec Record() override { return record_; }
    void ReadPowerReturn() override {}  // the monitor reads them after its full read
    SettingOutcome Change(const NamedSetting& setting, const std::string& value) override;
    TestOutcome Test(const Bytes& command) override;
    void Close() override {}
    const char* Route() const override { return "monitor"; }
    std::string RouteText() const override;

private:
    // "KIND PORT DEVICE", the start of every request.
    std::string Words(const std::string& kind) const;
    // One request; the reply lines before "ok", or nullopt with why_ set.
    std::optional<std::vector<std::string>> Ask(const std::string& request);

    std::string socketPath_;
    PortName port_;
    std::string why_;
    bool refused_ = false;  // the socket could not be used at all
    bool reached_ = false;
    std::string monitorLabel_;  // what the monitor calls the unit
    apcrec record_;
};

}  // namespace tornavel::ctl
