#include "unitsource.h"

#include <fstream>

#include "diagnose.h"
#include "directunit.h"
#include "monitorunit.h"

namespace tornavel::ctl {

namespace {

// A unit on its port, whose open failure mentions a monitor that would not
// serve this user: that monitor may be what holds the port.
class DirectUnitBesideMonitor final : public UnitAccess {
public:
    DirectUnitBesideMonitor(std::unique_ptr<UnitAccess> direct, std::string note)
        : direct_(std::move(direct)), note_(std::move(note)) {}
    bool Open(std::string& error) override
    {
        if (direct_->Open(error)) return true;
        if (!note_.empty()) error += "; " + note_;
        return false;
    }
    apcrec Record() override { return direct_->Record(); }
    SettingOutcome Change(const NamedSetting& s, const std::string& v) override { return direct_->Change(s, v); }
    TestOutcome Test(const Bytes& command) override { return direct_->Test(command); }
    void Close() override { direct_->Close(); }

private:
    std::unique_ptr<UnitAccess> direct_;
    std::string note_;
};

}  // namespace

UnitSource MakeUnitSource(const CommandLine& line, Clock& clock)
{
    return [&line, &clock](const PortName& port) -> std::unique_ptr<UnitAccess> {
        auto viaMonitor = std::make_unique<MonitorUnit>(line.controlSocket, port);
        const MonitorUnit::Reach reach = viaMonitor->Probe();
        if (reach == MonitorUnit::Reach::Held) return viaMonitor;
        auto direct = std::make_unique<DirectUnit>(port, OpenerFor(port, line.portsDir), clock);
        if (reach != MonitorUnit::Reach::Refused) return direct;
        return std::make_unique<DirectUnitBesideMonitor>(std::move(direct), viaMonitor->why());
    };
}

Diagnoser MakeDiagnoser(const CommandLine& line, Clock& clock)
{
    return [&line, &clock](const PortName& port, std::ostream& out, std::ostream& err) {
        const auto opener = OpenerFor(port, line.portsDir);
        const Diagnosis diagnosis = Diagnose(port, *opener, clock);
        if (!line.out) {
            out << diagnosis.report;
        } else {
            std::ofstream file(*line.out, std::ios::binary | std::ios::trunc);
            file << diagnosis.report;
            file.close();
            if (!file) {
                err << "tornavelctl: cannot write " << *line.out << "\n";
                return kExitUnitFailed;
            }
            out << "report written to " << *line.out << "\n";
        }
        return diagnosis.smartUps ? kExitDone : kExitUnitFailed;
    };
}

}  // namespace tornavel::ctl
