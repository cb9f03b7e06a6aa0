#include "unitsource.h"

#include "diagnose.h"
#include "directunit.h"
#include "monitorunit.h"

namespace tornavel::ctl {

namespace {

// A unit on its port beside a monitor: its open failure mentions a monitor
// that would not serve this user (that monitor may be what holds the port),
// and its route says when the monitor gives this port's name to another
// device.
class DirectUnitBesideMonitor final : public UnitAccess {
public:
    DirectUnitBesideMonitor(std::unique_ptr<UnitAccess> direct, std::string note, std::string routeNote)
        : direct_(std::move(direct)), note_(std::move(note)), routeNote_(std::move(routeNote))
    {
    }
    bool Open(std::string& error) override
    {
        if (direct_->Open(error)) return true;
        if (!note_.empty()) error += "; " + note_;
        return false;
    }
    apcrec Record() override { return direct_->Record(); }
    void ReadPowerReturn() override { direct_->ReadPowerReturn(); }
    SettingOutcome Change(const NamedSetting& s, const std::string& v) override { return direct_->Change(s, v); }
    TestOutcome Test(const Bytes& command) override { return direct_->Test(command); }
    void Close() override { direct_->Close(); }
    const char* Route() const override { return direct_->Route(); }
    std::string RouteText() const override
    {
        return direct_->RouteText() + (routeNote_.empty() ? "" : " (" + routeNote_ + ")");
    }

private:
    std::unique_ptr<UnitAccess> direct_;
    std::string note_;
    std::string routeNote_;
};

}  // namespace

UnitSource MakeUnitSource(const CommandLine& line, Clock& clock)
{
    return [&line, &clock](const PortName& port) -> std::unique_ptr<UnitAccess> {
        auto viaMonitor = std::make_unique<MonitorUnit>(line.controlSocket, port);
        const MonitorUnit::Reach reach = viaMonitor->Probe();
        if (reach == MonitorUnit::Reach::Held) return viaMonitor;
        auto direct = std::make_unique<DirectUnit>(port, OpenerFor(port, line.portsDir), clock);
        if (reach == MonitorUnit::Reach::Refused)
            return std::make_unique<DirectUnitBesideMonitor>(std::move(direct), viaMonitor->why(), "");
        if (reach == MonitorUnit::Reach::OtherUnit)
            return std::make_unique<DirectUnitBesideMonitor>(std::move(direct), "", viaMonitor->why());
        return direct;
    };
}

Diagnoser MakeDiagnoser(const CommandLine& line, Clock& clock)
{
    return [&line, &clock](const PortName& port) {
        const auto opener = OpenerFor(port, line.portsDir);
        return Diagnose(port, *opener, clock);
    };
}

}  // namespace tornavel::ctl
