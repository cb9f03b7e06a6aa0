#include "settings/settingchange.h"

#include <algorithm>

#include "text/cp1251.h"

namespace tornavel {

namespace {

// A list longer than this is no unit's: a unit whose answers never repeat
// is not stepped further.
constexpr int kLongestList = 32;

std::string Shown(const Bytes& answer)
{
    return "\"" + Cp1251ToUtf8(answer) + "\"";
}

SettingOutcome Judge(SettingOutcome outcome, const NamedSetting& setting, const std::optional<Bytes>& readBack,
                     const std::string& value)
{
    using Status = SettingOutcome::Status;
    ++outcome.steps;
    if (!readBack) {
        outcome.status = Status::Unconfirmed;
    } else {
        outcome.after = *readBack;
        outcome.status = readBack->empty()                        ? Status::NoAnswer
                         : AnswerShows(setting, *readBack, value) ? Status::Changed
                                                                  : Status::NotTaken;
    }
    return outcome;
}

SettingOutcome StepUntilShown(ChangePath& path, const NamedSetting& setting, SettingOutcome outcome,
                              const ChangeRequestTexts& step, const std::string& value)
{
    using Status = SettingOutcome::Status;
    outcome.offered.push_back(outcome.before);
    while (outcome.steps < kLongestList) {
        if (path.Stopped()) {
            outcome.status = Status::Stopped;
            return outcome;
        }
        outcome = Judge(std::move(outcome), setting, path.Perform(step), value);
        if (outcome.status != Status::NotTaken) return outcome;
        const bool roundDone = std::any_of(outcome.offered.begin(), outcome.offered.end(), [&](const Bytes& seen) {
            return AnswerShows(setting, seen, Cp1251ToUtf8(outcome.after));
        });
        if (roundDone) break;
        outcome.offered.push_back(outcome.after);
    }
    outcome.status = Status::NotOffered;
    return outcome;
}

}  // namespace

SettingOutcome BringSetting(ChangePath& path, const NamedSetting& setting, const Bytes& current,
                            const std::string& value)
{
    SettingOutcome outcome;
    outcome.before = current;
    outcome.after = current;
    if (AnswerShows(setting, current, value)) return outcome;

    std::string error;
    const auto request = RequestForValue(setting, value, error);
    if (!request) {
        outcome.status = SettingOutcome::Status::NotTaken;
        return outcome;
    }
    if (setting.kind == SettingKind::Stepped) return StepUntilShown(path, setting, outcome, *request, value);
    if (path.Stopped()) {
        outcome.status = SettingOutcome::Status::Stopped;
        return outcome;
    }
    return Judge(std::move(outcome), setting, path.Perform(*request), value);
}

std::string DescribeOutcome(const SettingOutcome& outcome)
{
    using Status = SettingOutcome::Status;
    const std::string steps = std::to_string(outcome.steps) + (outcome.steps == 1 ? " step" : " steps");
    switch (outcome.status) {
    case Status::Unchanged: return "already " + Shown(outcome.before) + ", nothing sent";
    case Status::Changed:
        return "changed from " + Shown(outcome.before) + " to " + Shown(outcome.after) + " in " + steps;
    case Status::NotTaken: return "not taken: the unit reads back " + Shown(outcome.after);
    case Status::NotOffered: {
        std::string list;
        for (const Bytes& value : outcome.offered) list += (list.empty() ? "" : ", ") + Shown(value);
        return "the unit does not offer this value; it offers " + list + " (back at " + Shown(outcome.after) +
               " after " + steps + ")";
    }
    case Status::NoAnswer:
        return "the unit did not answer the read-back after " + steps +
               ": the change may be half written, check it with show";
    case Status::Stopped:
        return "stopped after " + steps + " by the request to end: the unit holds " + Shown(outcome.after);
    case Status::Unconfirmed:
        return "not confirmed: the unit did not enter or leave programming mode after " + steps +
               "; the change may be half written, check it with show";
    }
    return {};
}

}  // namespace tornavel
