#pragma once
#include <string>
#include <vector>

#include "settingsfile.h"
#include "unitaccess.h"

namespace tornavel::ctl {

// One setting asked of one unit, and how it went.
struct SettingResult {
    const NamedSetting* setting;
    std::string value;
    SettingOutcome outcome;
    bool attempted = true;  // false: planned only (dry run), or skipped after a lost link or a request to end
};

struct UnitResults {
    std::string port;
    bool reached = true;
    std::vector<SettingResult> settings;
    std::string device;  // the device file the port names
    std::string route;   // "monitor" or "port" (UnitAccess::Route), empty when not reached
    std::string error;   // why it was not reached

    bool Good() const;
    static UnitResults Unreachable(const std::string& port, const std::string& device, const std::string& error);
    // A dry run: what would change, nothing sent.
    static UnitResults Planned(const std::string& port, const apcrec& record, const std::vector<SettingValue>& plan);
};

// A register-0 change asked without --yes: the refusal, else empty.
std::string ConfirmationMissing(const std::vector<SettingValue>& values, bool yes);

// The values the unit does not show yet, in the file's order.
std::vector<SettingValue> PlanFor(const apcrec& record, const std::vector<SettingValue>& values);
// "COM1 (model, serial): N changes" and one line per change: the setting,
// from, to, and the steps it takes.
std::string PlanText(const std::string& port, const apcrec& record, const std::vector<SettingValue>& plan);

// Brings the unit to each value in turn. After a change that ended without
// an answer the link is taken as lost, and after a request to end the
// program (interruption.h) no change begins: the rest is not attempted.
UnitResults ChangeUnit(UnitAccess& unit, const std::string& port, const std::vector<SettingValue>& values);

std::string ResultsText(const UnitResults& results);
// One JSON object per unit: port, device, route, reached, error, settings.
std::string ResultsJson(const UnitResults& results);

}  // namespace tornavel::ctl
