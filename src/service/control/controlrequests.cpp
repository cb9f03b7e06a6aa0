#include "control/controlrequests.h"

#include <algorithm>
#include <cctype>

#include "control/controlprotocol.h"
#include "serial/devicefile.h"
#include "settings/settingchange.h"
#include "text/cp1251.h"
#include "units/unittext.h"

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

std::vector<std::string> Read(const ControlledUnit& unit, const UnitSnapshot& snapshot)
{
    std::vector<std::string> lines = {"unit " + Escape(unit.label) + " " + Escape(unit.device)};
    for (int slot = 1; slot <= kSlotCount; ++slot)
        if (!SlotCommand(slot).empty())
            lines.push_back("slot " + std::to_string(slot) + " " + Escape(snapshot.slots[slot]));
    lines.push_back(kOk);
    return lines;
}

std::vector<std::string> Change(const std::vector<std::string>& words, const ControlledUnit& unit, EventLog& log)
{
    const NamedSetting* setting = FindSetting(words[3]);
    if (!setting) return Error("unknown setting " + words[3]);
    const auto value = Unescape(words[4]);
    std::string reason;
    if (!value || !RequestForValue(*setting, *value, reason)) return Error(words[3] + ": " + reason);
    LoopPath path(*unit.worker);
    const std::lock_guard changing(*unit.changing);
    // The value as the unit shows it now: another client's change may have
    // ended while this one waited.
    const SettingOutcome outcome = BringSetting(path, *setting, unit.worker->Snapshot().slots[setting->slot], *value);
    if (outcome.steps > 0)  // a value the unit showed already sent nothing: no event
        log.Record(Event{{},
                         unit.label,
                         outcome.Good() ? "setting_changed" : "setting_not_changed",
                         std::string(setting->name) + ": " + DescribeOutcome(outcome),
                         {}});
    return {OutcomeLine(outcome), kOk};
}

std::vector<std::string> Test(const std::vector<std::string>& words, const ControlledUnit& unit, EventLog& log)
{
    const auto command = Unescape(words[3]);
    if (!command || !IsTestCommand(*command)) return Error("not a test: " + words[3]);
    const std::lock_guard changing(*unit.changing);
    Bytes status;
    const auto acknowledgement = unit.worker->PerformTest(*command, status);
    if (!acknowledgement) return Error(unit.label + ": the test was not sent (the unit is not being polled)");
    log.Record(Event{{},
                     unit.label,
                     "test_requested",
                     "\"" + UnitText(*command) + "\" answered \"" + UnitText(*acknowledgement) + "\"",
                     {}});
    return {"test " + Escape(*acknowledgement) + " " + Escape(status), kOk};
}

}  // namespace

std::vector<std::string> AnswerControlRequest(const std::vector<std::string>& words,
                                              const std::vector<ControlledUnit>& units, EventLog& log)
{
    if (words.size() < 3) return Error("a request names its kind, a port and its device file");
    const auto device = Unescape(words[2]);
    if (!device) return Error("not a device file: " + words[2]);
    auto unit = std::find_if(units.begin(), units.end(),
                             [&](const ControlledUnit& u) { return SameDeviceFile(u.device, *device); });
    if (unit == units.end()) {
        const auto named = std::find_if(units.begin(), units.end(),
                                        [&](const ControlledUnit& u) { return SameLabel(u.label, words[1]); });
        if (named != units.end())
            return Error(kOtherDevice + " this monitor's " + named->label + " is " + named->device + ", not " +
                         *device);
        return Error(kNotHeld + " " + words[1] + " (" + *device + ") is not watched by this monitor");
    }
    const UnitSnapshot snapshot = unit->worker->Snapshot();
    if (!snapshot.identified || !snapshot.up)
        return Error(unit->label +
                     ": the monitor is not connected to the unit now (not a Smart-UPS, silent, "
                     "or the port cannot be opened)");
    const std::string& kind = words[0];
    if (kind == "read" && words.size() == 3) return Read(*unit, snapshot);
    if (kind == "change" && words.size() == 5) return Change(words, *unit, log);
    if (kind == "test" && words.size() == 4) return Test(words, *unit, log);
    return Error("not a request: read PORT DEVICE, change PORT DEVICE SETTING VALUE or test PORT DEVICE COMMAND");
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
