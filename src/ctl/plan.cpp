#include "plan.h"

#include <cstdlib>

#include "interruption.h"
#include "jsontext.h"
#include "monitor/numbers.h"
#include "protocol/commands.h"
#include "readout.h"
#include "settings/changewriter.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

using Status = SettingOutcome::Status;

std::string Quoted(const Bytes& answer)
{
    return "\"" + Printable(answer) + "\"";
}

std::string StepsText(const NamedSetting& setting, const Bytes& current, const std::string& value)
{
    const std::string mode = IsProgrammingModeCommand(*setting.command) ? "in programming mode: " : "";
    switch (setting.kind) {
    case SettingKind::Stepped:
        return "\"+\" steps, each read back, until the unit shows it; one round of its list at most";
    case SettingKind::Text:
    case SettingKind::Date: {
        std::string error;
        const auto request = RequestForValue(setting, value, error);
        return mode + "the command, \"+\" and " + std::to_string(request ? request->changeValue.size() : 0) +
               " characters, read back";
    }
    case SettingKind::Register: {
        const int difference = HexByteValue(value) - HexByteValue(current);
        return mode + std::to_string(std::abs(difference)) + " steps of \"" + (difference < 0 ? "-" : "+") +
               "\", read back";
    }
    }
    return {};
}

const char* StatusName(const SettingResult& result)
{
    if (!result.attempted)
        return result.outcome.status == Status::Unchanged ? "planned"
               : result.outcome.status == Status::Stopped ? "stopped"
                                                          : "not-attempted";
    switch (result.outcome.status) {
    case Status::Unchanged: return "unchanged";
    case Status::Changed: return "changed";
    case Status::NotTaken: return "not-taken";
    case Status::NotOffered: return "not-offered";
    case Status::NoAnswer: return "no-answer";
    case Status::Unconfirmed: return "unconfirmed";
    case Status::Stopped: return "stopped";
    }
    return "";
}

}  // namespace

bool UnitResults::Good() const
{
    if (!reached) return false;
    for (const SettingResult& result : settings)
        if (!result.outcome.Good() || (!result.attempted && result.outcome.status != Status::Unchanged)) return false;
    return true;
}

UnitResults UnitResults::Unreachable(const std::string& port, const std::string& device, const std::string& error)
{
    UnitResults results;
    results.port = port;
    results.reached = false;
    results.device = device;
    results.error = error;
    return results;
}

UnitResults UnitResults::Planned(const std::string& port, const apcrec& record, const std::vector<SettingValue>& plan)
{
    UnitResults results;
    results.port = port;
    for (const SettingValue& v : plan) {
        SettingOutcome outcome;
        outcome.before = outcome.after = record.slot[v.setting->slot];
        results.settings.push_back({v.setting, v.value, outcome, false});
    }
    return results;
}

std::string ConfirmationMissing(const std::vector<SettingValue>& values, bool yes)
{
    for (const SettingValue& v : values)
        if (v.setting->kind == SettingKind::Register && !yes)
            return "changing register0 needs --yes: it changes how the unit works";
    return {};
}

std::vector<SettingValue> PlanFor(const apcrec& record, const std::vector<SettingValue>& values)
{
    std::vector<SettingValue> plan;
    for (const SettingValue& v : values)
        if (!AnswerShows(*v.setting, record.slot[v.setting->slot], v.value)) plan.push_back(v);
    return plan;
}

std::string PlanText(const std::string& port, const apcrec& record, const std::vector<SettingValue>& plan)
{
    std::string text = port + " (" + Printable(record.slot[kSlotModel]) + ", serial " +
                       Printable(record.slot[kSlotSerial]) + "): ";
    if (plan.empty()) return text + "nothing to change\n";
    text += std::to_string(plan.size()) + (plan.size() == 1 ? " change\n" : " changes\n");
    for (const SettingValue& v : plan) {
        const Bytes& current = record.slot[v.setting->slot];
        text += "  " + std::string(v.setting->name) + ": " + Quoted(current) + " -> \"" + TerminalText(v.value) +
                "\" (" + StepsText(*v.setting, current, v.value) + ")\n";
    }
    return text;
}

UnitResults ChangeUnit(UnitAccess& unit, const std::string& port, const std::vector<SettingValue>& values)
{
    UnitResults results;
    results.port = port;
    bool linkLost = false;
    const apcrec record = unit.Record();
    for (const SettingValue& v : values) {
        if (linkLost || EndSignal()) {
            SettingOutcome skipped;
            skipped.status = linkLost ? Status::NoAnswer : Status::Stopped;
            skipped.before = skipped.after = record.slot[v.setting->slot];
            results.settings.push_back({v.setting, v.value, skipped, false});
            continue;
        }
        const SettingOutcome outcome = unit.Change(*v.setting, v.value);
        linkLost = outcome.status == Status::NoAnswer;
        results.settings.push_back({v.setting, v.value, outcome, true});
    }
    return results;
}

std::string ResultsText(const UnitResults& results)
{
    std::string text;
    for (const SettingResult& r : results.settings) {
        text += results.port + " " + std::string(r.setting->name) + ": ";
        if (r.attempted)
            text += TerminalText(DescribeOutcome(r.outcome)) + "\n";
        else if (r.outcome.status == Status::Stopped)
            text += "not attempted: the program was asked to end; the unit holds \"" + Printable(r.outcome.after) +
                    "\"\n";
        else
            text += "not attempted after the unit stopped answering\n";
    }
    return text;
}

std::string ResultsJson(const UnitResults& unit)
{
    JsonObject json;
    json.SetText("port", unit.port).SetText("device", unit.device);
    json.Set("route", unit.route.empty() ? "null" : JsonString(unit.route));
    json.Set("reached", JsonBool(unit.reached));
    json.Set("error", unit.error.empty() ? "null" : JsonString(unit.error));
    std::vector<std::string> settings;
    for (const SettingResult& r : unit.settings) {
        std::vector<std::string> offered;
        for (const Bytes& value : r.outcome.offered) offered.push_back(JsonString(Cp1251ToUtf8(value)));
        JsonObject setting;
        setting.SetText("setting", std::string(r.setting->name)).SetText("value", r.value);
        setting.SetText("status", StatusName(r));
        setting.SetText("from", Cp1251ToUtf8(r.outcome.before)).SetText("to", Cp1251ToUtf8(r.outcome.after));
        setting.Set("steps", std::to_string(r.outcome.steps)).Set("offered", JsonArray(offered));
        settings.push_back(setting.Text());
    }
    json.Set("settings", JsonArray(settings));
    return json.Text();
}

}  // namespace tornavel::ctl
