#include "plan.h"

#include <cstdlib>

#include "jsontext.h"
#include "monitor/numbers.h"
#include "protocol/commands.h"
#include "settings/changewriter.h"
#include "text/cp1251.h"

namespace tornavel::ctl {

namespace {

using Status = SettingOutcome::Status;

std::string Quoted(const Bytes& answer)
{
    return "\"" + Cp1251ToUtf8(answer) + "\"";
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
    if (!result.attempted) return result.outcome.status == Status::Unchanged ? "planned" : "not-attempted";
    switch (result.outcome.status) {
    case Status::Unchanged: return "unchanged";
    case Status::Changed: return "changed";
    case Status::NotTaken: return "not-taken";
    case Status::NotOffered: return "not-offered";
    case Status::NoAnswer: return "no-answer";
    case Status::Unconfirmed: return "unconfirmed";
    }
    return "";
}

}  // namespace

bool UnitResults::Good() const
{
    if (!reached) return false;
    for (const SettingResult& result : settings)
        if (!result.outcome.Good() || (!result.attempted && result.outcome.status != Status::Unchanged))
            return false;
    return true;
}

UnitResults UnitResults::Unreachable(const std::string& port)
{
    return {port, false, {}};
}

UnitResults UnitResults::Planned(const std::string& port, const apcrec& record, const std::vector<SettingValue>& plan)
{
    UnitResults results{port, true, {}};
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
    std::string text = port + " (" + Cp1251ToUtf8(record.slot[kSlotModel]) + ", serial " +
                       Cp1251ToUtf8(record.slot[kSlotSerial]) + "): ";
    if (plan.empty()) return text + "nothing to change\n";
    text += std::to_string(plan.size()) + (plan.size() == 1 ? " change\n" : " changes\n");
    for (const SettingValue& v : plan) {
        const Bytes& current = record.slot[v.setting->slot];
        text += "  " + std::string(v.setting->name) + ": " + Quoted(current) + " -> \"" + v.value + "\" (" +
                StepsText(*v.setting, current, v.value) + ")\n";
    }
    return text;
}

UnitResults ChangeUnit(UnitAccess& unit, const std::string& port, const std::vector<SettingValue>& values)
{
    UnitResults results{port, true, {}};
    bool linkLost = false;
    for (const SettingValue& v : values) {
        if (linkLost) {
            SettingOutcome skipped;
            skipped.status = Status::NoAnswer;
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
            text += DescribeOutcome(r.outcome) + "\n";
        else
            text += "not attempted after the unit stopped answering\n";
    }
    return text;
}

std::string ResultsJson(const std::vector<UnitResults>& units)
{
    std::string json = "[";
    for (std::size_t u = 0; u < units.size(); ++u) {
        const UnitResults& unit = units[u];
        json += std::string(u ? ", " : "") + "{\"port\": " + JsonString(unit.port) +
                ", \"reached\": " + (unit.reached ? "true" : "false") + ", \"settings\": [";
        for (std::size_t i = 0; i < unit.settings.size(); ++i) {
            const SettingResult& r = unit.settings[i];
            json += std::string(i ? ", " : "") + "{\"setting\": " + JsonString(std::string(r.setting->name)) +
                    ", \"value\": " + JsonString(r.value) + ", \"status\": " + JsonString(StatusName(r)) +
                    ", \"from\": " + JsonString(Cp1251ToUtf8(r.outcome.before)) +
                    ", \"to\": " + JsonString(Cp1251ToUtf8(r.outcome.after)) +
                    ", \"steps\": " + std::to_string(r.outcome.steps) + ", \"offered\": [";
            for (std::size_t k = 0; k < r.outcome.offered.size(); ++k)
                json += std::string(k ? ", " : "") + JsonString(Cp1251ToUtf8(r.outcome.offered[k]));
            json += "]}";
        }
        json += "]}";
    }
    return json + "]\n";
}

}  // namespace tornavel::ctl
