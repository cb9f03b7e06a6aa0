#include "controlrequests.h"

#include <algorithm>
#include <cctype>

#include "control/controlprotocol.h"
#include "settings/settingchange.h"
#include "text/cp1251.h"
#include "unittext.h"

namespace tornavel::service {

namespace {

using namespace control;

// The worker's polling loop as the change path.
class LoopPath final : public ChangePath {
public:
    explicit LoopPath(UnitWorker& worker) : worker_(worker) {}
    std::optional<Bytes> Perform(const ChangeRequestTexts& request) override { return worker_.PerformChange(request); }

private:
    UnitWorker& worker_;
};

bool SameLabel(const std::string& a, const std::string& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
    });
}

std::vector<std::string> Error(const std::string& message)
{
    return {kError + " " + message};
}

std::vector<std::string> Read(const UnitSnapshot& unit)
{
    std::vector<std::string> lines;
    for (int slot = 1; slot <= kReadSlotCount; ++slot)
        lines.push_back("slot " + std::to_string(slot) + " " + Escape(unit.slots[slot]));
    lines.push_back(kOk);
    return lines;
}

std::vector<std::string> Change(const std::vector<std::string>& words, const ControlledUnit& unit,
                                const UnitSnapshot& snapshot, EventLog& log)
{
    const NamedSetting* setting = FindSetting(words[2]);
    if (!setting) return Error("unknown setting " + words[2]);
    const auto value = Unescape(words[3]);
    std::string reason;
    if (!value || !RequestForValue(*setting, *value, reason)) return Error(words[2] + ": " + reason);
    LoopPath path(*unit.worker);
    const SettingOutcome outcome = BringSetting(path, *setting, snapshot.slots[setting->slot], *value);
    log.Record(Event{{}, unit.label, outcome.Good() ? "setting_changed" : "setting_not_changed",
                     std::string(setting->name) + ": " + DescribeOutcome(outcome), {}});
    return {OutcomeLine(outcome), kOk};
}

std::vector<std::string> Test(const std::vector<std::string>& words, const ControlledUnit& unit, EventLog& log)
{
    const auto command = Unescape(words[2]);
    if (!command || !IsTestCommand(*command)) return Error("not a test: " + words[2]);
    Bytes status;
    const auto acknowledgement = unit.worker->PerformTest(*command, status);
    if (!acknowledgement) return Error(unit.label + ": the test was not sent (the unit is not being polled)");
    log.Record(Event{{}, unit.label, "test_requested",
                     "\"" + UnitText(*command) + "\" answered \"" + UnitText(*acknowledgement) + "\"", {}});
    return {"test " + Escape(*acknowledgement) + " " + Escape(status), kOk};
}

}  // namespace

std::vector<std::string> AnswerControlRequest(const std::vector<std::string>& words,
                                              const std::vector<ControlledUnit>& units, EventLog& log)
{
    if (words.size() < 2) return Error("a request names its kind and a port");
    const auto unit = std::find_if(units.begin(), units.end(),
                                   [&](const ControlledUnit& u) { return SameLabel(u.label, words[1]); });
    if (unit == units.end()) return Error(kNotHeld + " " + words[1] + " is not watched by this monitor");
    const UnitSnapshot snapshot = unit->worker->Snapshot();
    if (!snapshot.identified || !snapshot.up)
        return Error(unit->label + ": the monitor is not connected to the unit now (not a Smart-UPS, silent, "
                                   "or the port cannot be opened)");
    const std::string& kind = words[0];
    if (kind == "read" && words.size() == 2) return Read(snapshot);
    if (kind == "change" && words.size() == 4) return Change(words, *unit, snapshot, log);
    if (kind == "test" && words.size() == 3) return Test(words, *unit, log);
    return Error("not a request: read PORT, change PORT SETTING VALUE or test PORT COMMAND");
}

std::vector<std::string> AnswerCancelShutdown(HostShutdown* host)
{
    std::vector<std::string> lines;
    if (host) {
        const HostShutdown::Cancelled cancelled = host->Cancel();
        if (cancelled.outcome == HostShutdown::Cancelled::Outcome::Failed) return Error(cancelled.port);
        if (cancelled.outcome == HostShutdown::Cancelled::Outcome::Withdrawn)
            lines.push_back(kCancelled + " " + Escape(cancelled.port));
    }
    lines.push_back(kOk);
    return lines;
}

}  // namespace tornavel::service
