#include "runcommand.h"

#include <array>
#include <fstream>
#include <sstream>

#include "cancelshutdown.h"
#include "interruption.h"
#include "jsontext.h"
#include "plan.h"
#include "protocol/commands.h"
#include "readout.h"
#include "settings/calibration.h"
#include "settingsfile.h"
#include "text/cp1251.h"
#include "tornavel_version.h"

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
    JsonObject reply;  // the --json answer, filled as the command goes

    int Usage(const std::string& message)
    {
        err << "tornavelctl: " << TerminalText(message) << " (see --help)\n";
        reply.SetText("error", message);
        return kExitUsage;
    }
    int Failed(const std::string& message)
    {
        err << "tornavelctl: " << TerminalText(message) << "\n";
        reply.SetText("error", message);
        return kExitUnitFailed;
    }
    int Interrupted()
    {
        err << "tornavelctl: ended by " << EndSignalName() << "\n";
        reply.SetText("interrupted", EndSignalName());
        return InterruptedStatus();
    }
    // Text for a person, never in --json mode.
    void Say(const std::string& text)
    {
        if (!line.json) out << text;
    }
};

std::optional<PortName> Port(Context& c, const std::string& word)
{
    auto port = ParsePortName(word, c.line.portsDir);
    if (!port) c.Usage("\"" + word + "\" is not a port: COM1 to COM16 or a device path");
    return port;
}

// Whether a setting asked for is one the full read leaves out: only then is
// it read, so other changes keep the window's traffic.
bool NeedsPowerReturn(const std::vector<SettingValue>& values)
{
    for (const SettingValue& v : values)
        if (v.setting->slot >= kFirstPowerReturnSlot) return true;
    return false;
}

// "COM2 (/tmp/ports/com2) through tornavel-monitor"
std::string Header(const PortName& port, const UnitAccess& unit)
{
    return port.label + (port.path == port.label ? "" : " (" + port.path + ")") + " " + unit.RouteText();
}

// Where the answer came from, in --json.
void Describe(Context& c, const PortName& port, const UnitAccess* unit)
{
    c.reply.SetText("port", port.label).SetText("device", port.path);
    c.reply.Set("route", unit ? JsonString(unit->Route()) : "null");
}

// Opens the unit; on failure the message is out and the unit is null.
std::unique_ptr<UnitAccess> OpenUnit(Context& c, const PortName& port, std::string& error)
{
    auto unit = c.units(port);
    if (unit && unit->Open(error)) return unit;
    return nullptr;
}

std::unique_ptr<UnitAccess> OpenUnit(Context& c, const PortName& port)
{
    std::string error;
    auto unit = OpenUnit(c, port, error);
    if (!unit) c.Failed(error);
    return unit;
}

// Opens the unit and reads all of it (the full read, then the settings that
// decide how power comes back), and leaves it. False with the exit status
// in `exit` when it could not be opened or a signal came.
bool ReadWholeUnit(Context& c, const PortName& port, std::unique_ptr<UnitAccess>& unit, apcrec& record, int& exit)
{
    Describe(c, port, nullptr);
    unit = OpenUnit(c, port);
    if (!unit) {
        exit = kExitUnitFailed;
        return false;
    }
    Describe(c, port, unit.get());
    unit->ReadPowerReturn();
    record = unit->Record();
    unit->Close();
    if (EndSignal()) {
        exit = c.Interrupted();
        return false;
    }
    return true;
}

int Show(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    std::unique_ptr<UnitAccess> unit;
    apcrec record;
    if (int exit = 0; !ReadWholeUnit(c, *port, unit, record, exit)) return exit;
    const std::vector<std::string> missing = MissingValues(record);
    ReadoutJson(record, c.reply);
    std::vector<std::string> names;
    std::string list;
    for (const std::string& name : missing) {
        names.push_back(JsonString(name));
        list += (list.empty() ? "" : ", ") + name;
    }
    c.reply.Set("missing", JsonArray(names));
    c.Say(ReadoutText(Header(*port, *unit), record));
    if (!missing.empty()) return c.Failed(port->label + ": the unit did not answer for " + list);
    return kExitDone;
}

int Set(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    Describe(c, *port, nullptr);
    std::vector<SettingValue> values;
    for (std::size_t i = 1; i + 1 < c.line.words.size(); i += 2) {
        const std::string& name = c.line.words[i];
        const NamedSetting* setting = FindSetting(name);
        if (!setting) return c.Usage("unknown setting \"" + name + "\"");
        std::string error;
        if (!RequestForValue(*setting, c.line.words[i + 1], error)) return c.Usage(name + ": " + error);
        values.push_back({setting, c.line.words[i + 1]});
    }
    if (const std::string refusal = ConfirmationMissing(values, c.line.yes); !refusal.empty()) return c.Usage(refusal);
    std::string error;
    auto unit = OpenUnit(c, *port, error);
    if (!unit) {
        c.reply.Set("units", JsonArray({ResultsJson(UnitResults::Unreachable(port->label, port->path, error))}));
        return c.Failed(error);
    }
    Describe(c, *port, unit.get());
    c.Say(Header(*port, *unit) + "\n");
    if (NeedsPowerReturn(values)) unit->ReadPowerReturn();
    UnitResults results = ChangeUnit(*unit, port->label, values);
    unit->Close();
    results.device = port->path;
    results.route = unit->Route();
    c.reply.Set("units", JsonArray({ResultsJson(results)}));
    c.Say(ResultsText(results));
    if (EndSignal()) return c.Interrupted();
    return results.Good() ? kExitDone : kExitUnitFailed;
}

int Backup(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    Describe(c, *port, nullptr);  // the port first in the reply, then the file
    const std::string& path = c.line.words[1];
    c.reply.SetText("file", path);
    std::unique_ptr<UnitAccess> unit;
    apcrec record;
    if (int exit = 0; !ReadWholeUnit(c, *port, unit, record, exit)) return exit;
    std::string text, error;
    std::vector<SettingValue> values;
    if (!WriteSettingsFile(port->label, record, text, values, error)) return c.Failed(error);
    JsonObject written;
    for (const SettingValue& v : values) written.SetText(std::string(v.setting->name), v.value);
    c.reply.Set("settings", written.Text());
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) return c.Failed("cannot write " + path);
    c.Say("settings of " + Header(*port, *unit) + " written to " + path + "\n");
    return kExitDone;
}

int Apply(Context& c)
{
    c.reply.SetText("file", c.line.words[0]).Set("dry_run", JsonBool(c.line.dryRun));
    std::ifstream file(c.line.words[0], std::ios::binary);
    if (!file) return c.Usage("cannot read " + c.line.words[0]);
    std::stringstream text;
    text << file.rdbuf();
    std::vector<SettingValue> values;
    std::string error;
    if (!ReadSettingsFile(text.str(), c.line.words[0], values, error)) return c.Usage(error);
    if (const std::string refusal = ConfirmationMissing(values, c.line.yes); !refusal.empty()) return c.Usage(refusal);

    std::vector<PortName> ports;
    for (std::size_t i = 1; i < c.line.words.size(); ++i) {
        const auto port = Port(c, c.line.words[i]);
        if (!port) return kExitUsage;
        for (const PortName& earlier : ports)
            if (SameDevice(earlier, *port)) return c.Usage(port->label + " is named twice (as " + earlier.label + ")");
        ports.push_back(*port);
    }

    std::vector<UnitResults> all;
    std::string failures;
    for (const PortName& port : ports) {
        if (EndSignal()) {
            all.push_back(UnitResults::Unreachable(port.label, port.path, "not attempted: asked to end"));
            continue;
        }
        std::string why;
        auto unit = OpenUnit(c, port, why);
        if (!unit) {
            c.err << "tornavelctl: " << TerminalText(why) << "\n";
            failures += (failures.empty() ? "" : "; ") + why;
            all.push_back(UnitResults::Unreachable(port.label, port.path, why));
            continue;
        }
        if (NeedsPowerReturn(values)) unit->ReadPowerReturn();
        const std::vector<SettingValue> plan = PlanFor(unit->Record(), values);
        c.Say(Header(port, *unit) + "\n" + PlanText(port.label, unit->Record(), plan));
        UnitResults results = c.line.dryRun ? UnitResults::Planned(port.label, unit->Record(), plan)
                                            : ChangeUnit(*unit, port.label, plan);
        unit->Close();
        results.device = port.path;
        results.route = unit->Route();
        if (!c.line.dryRun) c.Say(ResultsText(results));
        all.push_back(std::move(results));
    }
    std::vector<std::string> units;
    for (const UnitResults& results : all) units.push_back(ResultsJson(results));
    c.reply.Set("units", JsonArray(units));
    if (EndSignal()) return c.Interrupted();
    if (!failures.empty()) c.reply.SetText("error", failures);
    for (const UnitResults& results : all)
        if (!results.Good()) return kExitUnitFailed;
    return kExitDone;
}

int Test(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    Describe(c, *port, nullptr);
    c.reply.SetText("test", c.line.words[1]);
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
    Describe(c, *port, unit.get());
    const apcrec before = unit->Record();
    const auto flags = StatusWords(before.slot[kSlotStatus]);
    const bool calibrating = flags.find("calibrating") != std::string::npos;
    if (test->calibrating != kAnyState && calibrating != (test->calibrating == 1)) {
        unit->Close();
        return c.Failed(port->label +
                        (calibrating ? ": a calibration is already running" : ": no calibration is running"));
    }
    if (test->command == &cmd::kCalibration && test->calibrating == 0) {
        DeviceTable table;
        table.Add(before.port);
        table.SetApcIndex(0);
        for (int slot = 1; slot <= kReadSlotCount; ++slot) table.SetSlot(slot, before.slot[slot]);
        for (const std::string& warning : CalibrationWarnings(table)) c.err << "warning: " << warning << "\n";
    }
    if (EndSignal()) {
        unit->Close();
        return c.Interrupted();
    }
    const TestOutcome outcome = unit->Test(*test->command);
    unit->Close();
    const bool accepted = outcome.acknowledgement == "OK";
    c.reply.SetText("answer", Cp1251ToUtf8(outcome.acknowledgement));
    c.reply.SetText("status", StatusWords(outcome.status));
    c.Say(Header(*port, *unit) + "\n" + port->label + " " + test->name + ": " +
          (accepted                          ? "accepted"
           : outcome.acknowledgement == "NO" ? "refused by the unit"
                                             : "no answer") +
          "; status now " + Printable(outcome.status) + " (" + StatusWords(outcome.status) + ")\n");
    if (EndSignal()) return c.Interrupted();
    if (!accepted) return c.Failed(port->label + " " + test->name + ": not accepted");
    return kExitDone;
}

int Diagnose(Context& c)
{
    const auto port = Port(c, c.line.words[0]);
    if (!port) return kExitUsage;
    c.reply.SetText("port", port->label).SetText("device", port->path).SetText("route", "port");
    const Diagnosis diagnosis = c.diagnose(*port);
    c.reply.Set("smart_ups", JsonBool(diagnosis.smartUps));
    if (c.line.out) {
        c.reply.SetText("file", *c.line.out);
        std::ofstream file(*c.line.out, std::ios::binary | std::ios::trunc);
        file << diagnosis.report;
        file.close();
        if (!file) return c.Failed("cannot write " + *c.line.out);
        c.Say("report written to " + *c.line.out + "\n");
    } else {
        c.reply.SetText("report", diagnosis.report);
        c.Say(diagnosis.report);
    }
    if (EndSignal()) return c.Interrupted();
    if (!diagnosis.smartUps) return c.Failed(port->label + ": no Smart-UPS answers (no \"SM\" to \"Y\")");
    return kExitDone;
}

// Messages to standard error as they came; the last one is why it failed.
std::string LastMessage(const std::string& messages)
{
    std::string last = messages.substr(0, messages.find_last_not_of('\n') + 1);
    last.erase(0, last.rfind('\n') + 1);
    const std::string prefix = "tornavelctl: ";
    return last.rfind(prefix, 0) == 0 ? last.substr(prefix.size()) : last;
}

int Cancel(Context& c)
{
    std::ostringstream said, failed;
    std::vector<std::string> withdrawn;
    const int status = CancelShutdown(c.line.controlSocket, said, failed, withdrawn);
    c.Say(said.str());
    c.err << failed.str();
    std::vector<std::string> ports, report;
    for (const std::string& port : withdrawn) ports.push_back(JsonString(port));
    std::istringstream lines(said.str());
    for (std::string line; std::getline(lines, line);) report.push_back(JsonString(line));
    c.reply.Set("withdrawn", JsonArray(ports)).Set("report", JsonArray(report));
    if (status != kExitDone) c.reply.SetText("error", LastMessage(failed.str()));
    return status;
}

}  // namespace

int RunCommand(const CommandLine& line, UnitSource& units, Diagnoser& diagnose, std::ostream& out, std::ostream& err)
{
    Context c{line, units, diagnose, out, err, {}};
    c.reply.Set("version", std::to_string(kJsonVersion)).SetText("command", line.verb);
    int status = kExitUsage;
    if (!line.error.empty())
        status = c.Usage(line.error);
    else if (line.verb == "help") {
        c.reply.SetText("usage", UsageText());
        c.Say(UsageText());
        status = kExitDone;
    } else if (line.verb == "version") {
        c.reply.SetText("tornavelctl", TORNAVEL_VERSION);
        c.Say("tornavelctl " TORNAVEL_VERSION "\n");
        status = kExitDone;
    } else if (line.verb == "show")
        status = Show(c);
    else if (line.verb == "set")
        status = Set(c);
    else if (line.verb == "backup")
        status = Backup(c);
    else if (line.verb == "apply")
        status = Apply(c);
    else if (line.verb == "test")
        status = Test(c);
    else if (line.verb == "diagnose")
        status = Diagnose(c);
    else if (line.verb == "cancel-shutdown")
        status = Cancel(c);
    else
        status = c.Usage("unknown command " + line.verb);
    if (line.json) {
        c.reply.Set("ok", JsonBool(status == kExitDone)).Set("exit", std::to_string(status));
        if (!c.reply.Has("error")) c.reply.Set("error", "null");
        out << c.reply.Text() << "\n";
    }
    return status;
}

}  // namespace tornavel::ctl
