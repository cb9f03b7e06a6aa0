#include "commands.h"

#include <array>
#include <fstream>
#include <sstream>

#include "jsontext.h"
#include "plan.h"
#include "protocol/commands.h"
#include "readout.h"
#include "settings/calibration.h"
#include "settingsfile.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

struct TestName {
    const char* name;
    const Bytes* command;
    bool needsYes;
    int calibrating;  // -1: any state; 0/1: the state the unit must be in ("D" toggles)
};

constexpr int kAnyState = -1;
const std::array<TestName, 5> kTests = {{
    {"self-test", &cmd::kTestBattery, false, kAnyState},
    {"indicator", &cmd::kTestIndicators, false, kAnyState},
    {"mains-failure", &cmd::kTestMainsFailure, false, kAnyState},
    {"calibrate", &cmd::kCalibration, true, 0},
    {"stop-calibration", &cmd::kCalibration, true, 1},
}};

struct Context {
    const CommandLine& line;
    UnitSource& units;
    Diagnoser& diagnose;
    std::ostream& out;
    std::ostream& err;

    int Usage(const std::string& message)
    {
        err << "tornavelctl: " << message << " (see --help)\n";
        return kExitUsage;
    }
    int Failed(const std::string& message)
    {
        err << "tornavelctl: " << message << "\n";
        return kExitUnitFailed;
    }
};

std::optional<PortName> Port(Context& c, const std::string& word)
{
    auto port = ParsePortName(word, c.line.portsDir);
    if (!port) c.Usage("\"" + word + "\" is not a port: COM1 to COM16 or a device path");
    return port;
}

// Opens the unit; on failure the message is out and the unit is null.
std::unique_ptr<UnitAccess> OpenUnit(Context& c, const PortName& port)
{
    auto unit = c.units(port);
    std::string error;
    if (unit && unit->Open(error)) return unit;
    c.Failed(error);
    return nullptr;
}

// The unit's values from one connection; nullopt with the exit status set.
std::optional<std::pair<PortName, apcrec>> ReadUnit(Context& c, int& status)
{
    const auto port = Port(c, c.line.words[0]);
    status = kExitUsage;
    if (!port) return std::nullopt;
    auto unit = OpenUnit(c, *port);
    status = kExitUnitFailed;
    if (!unit) return std::nullopt;
    const apcrec record = unit->Record();
    unit->Close();
    status = kExitDone;
    return std::pair{*port, record};
}

int Show(Context& c)
{
    int status;
    const auto unit = ReadUnit(c, status);
    if (unit) c.out << (c.line.json ? ReadoutJson(unit->first.label, unit->second)
                                    : ReadoutText(unit->first.label, unit->second));
    return status;
}

int Set(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    std::vector<SettingValue> values;
    for (std::size_t i = 1; i + 1 < c.line.words.size(); i += 2) {
        const std::string& name = c.line.words[i];
        const NamedSetting* setting = FindSetting(name);
        if (!setting) return c.Usage("unknown setting \"" + name + "\"");
        std::string error;
        if (!RequestForValue(*setting, c.line.words[i + 1], error)) return c.Usage(name + ": " + error);
        values.push_back({setting, c.line.words[i + 1]});
    }
    if (const std::string refusal = ConfirmationMissing(values, c.line.yes); !refusal.empty())
        return c.Usage(refusal);
    auto unit = OpenUnit(c, *port);
    if (!unit) return kExitUnitFailed;
    const UnitResults results = ChangeUnit(*unit, port->label, values);
    unit->Close();
    c.out << (c.line.json ? ResultsJson({results}) : ResultsText(results));
    return results.Good() ? kExitDone : kExitUnitFailed;
}

int Backup(Context& c)
{
    int status;
    const auto unit = ReadUnit(c, status);
    if (!unit) return status;
    const std::string& path = c.line.words[1];
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << WriteSettingsFile(unit->first.label, unit->second);
    file.close();
    if (!file) return c.Failed("cannot write " + path);
    if (!c.line.json) c.out << "settings of " << unit->first.label << " written to " << path << "\n";
    return kExitDone;
}

int Apply(Context& c)
{
    std::ifstream file(c.line.words[0], std::ios::binary);
    if (!file) return c.Usage("cannot read " + c.line.words[0]);
    std::stringstream text;
    text << file.rdbuf();
    std::vector<SettingValue> values;
    std::string error;
    if (!ReadSettingsFile(text.str(), c.line.words[0], values, error)) return c.Usage(error);
    if (const std::string refusal = ConfirmationMissing(values, c.line.yes); !refusal.empty())
        return c.Usage(refusal);

    std::vector<PortName> ports;
    for (std::size_t i = 1; i < c.line.words.size(); ++i) {
        const auto port = Port(c, c.line.words[i]);
        if (!port) return kExitUsage;
        for (const PortName& earlier : ports)
            if (SameDevice(earlier, *port))
                return c.Usage(port->label + " is named twice (as " + earlier.label + ")");
        ports.push_back(*port);
    }

    std::vector<UnitResults> all;
    for (const PortName& port : ports) {
        auto unit = OpenUnit(c, port);
        if (!unit) {
            all.push_back(UnitResults::Unreachable(port.label));
            continue;
        }
        const std::vector<SettingValue> plan = PlanFor(unit->Record(), values);
        if (!c.line.json) c.out << PlanText(port.label, unit->Record(), plan);
        UnitResults results = c.line.dryRun ? UnitResults::Planned(port.label, unit->Record(), plan)
                                            : ChangeUnit(*unit, port.label, plan);
        unit->Close();
        if (!c.line.json && !c.line.dryRun) c.out << ResultsText(results);
        all.push_back(std::move(results));
    }
    if (c.line.json) c.out << ResultsJson(all);
    for (const UnitResults& results : all)
        if (!results.Good()) return kExitUnitFailed;
    return kExitDone;
}

int Test(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    const TestName* test = nullptr;
    for (const TestName& t : kTests)
        if (c.line.words[1] == t.name) test = &t;
    if (!test) return c.Usage("unknown test \"" + c.line.words[1] + "\"");
    if (test->needsYes && !c.line.yes)
        return c.Usage(std::string(test->name) +
                       " needs --yes: a calibration needs a full charge and a load of 30-40 %, "
                       "and may run the battery low");
    auto unit = OpenUnit(c, *port);
    if (!unit) return kExitUnitFailed;
    const apcrec before = unit->Record();
    const auto flags = StatusWords(before.slot[kSlotStatus]);
    const bool calibrating = flags.find("calibrating") != std::string::npos;
    if (test->calibrating != kAnyState && calibrating != (test->calibrating == 1)) {
        unit->Close();
        return c.Failed(port->label + (calibrating ? ": a calibration is already running"
                                                   : ": no calibration is running"));
    }
    if (test->command == &cmd::kCalibration && test->calibrating == 0) {
        DeviceTable table;
        table.Add(before.port);
        table.SetApcIndex(0);
        for (int slot = 1; slot <= kReadSlotCount; ++slot) table.SetSlot(slot, before.slot[slot]);
        for (const std::string& warning : CalibrationWarnings(table)) c.err << "warning: " << warning << "\n";
    }
    const TestOutcome outcome = unit->Test(*test->command);
    unit->Close();
    const bool accepted = outcome.acknowledgement == "OK";
    if (c.line.json)
        c.out << "{\"port\": " << JsonString(port->label) << ", \"test\": " << JsonString(test->name)
              << ", \"answer\": " << JsonString(Cp1251ToUtf8(outcome.acknowledgement))
              << ", \"status\": " << JsonString(StatusWords(outcome.status)) << "}\n";
    else
        c.out << port->label << " " << test->name << ": "
              << (accepted ? "accepted" : outcome.acknowledgement == "NO" ? "refused by the unit" : "no answer")
              << "; status now " << Cp1251ToUtf8(outcome.status) << " (" << StatusWords(outcome.status) << ")\n";
    return accepted ? kExitDone : kExitUnitFailed;
}

int Diagnose(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    return c.diagnose(*port, c.out, c.err);
}

}  // namespace

int RunCommand(const CommandLine& line, UnitSource& units, Diagnoser& diagnose, std::ostream& out,
               std::ostream& err)
{
    Context c{line, units, diagnose, out, err};
    if (!line.error.empty()) return c.Usage(line.error);
    if (line.verb == "show") return Show(c);
    if (line.verb == "set") return Set(c);
    if (line.verb == "backup") return Backup(c);
    if (line.verb == "apply") return Apply(c);
    if (line.verb == "test") return Test(c);
    if (line.verb == "diagnose") return Diagnose(c);
    return c.Usage("unknown command " + line.verb);
}

}  // namespace tornavel::ctl
