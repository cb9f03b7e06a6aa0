#include "monitorunit.h"

#include <cstdlib>

#include "control/controlprotocol.h"
#include "controlclient.h"
#include "serial/devicefile.h"

namespace tornavel::ctl {

namespace {

using namespace control;

// A bound for one request: a stepped setting may take a round of its list,
// each step a monitoring cycle or more. Not a measured time.
constexpr int kRequestPatienceSeconds = 20 * 60;

}  // namespace

std::optional<std::vector<std::string>> MonitorUnit::Ask(const std::string& request)
{
    ControlAnswer answer = AskMonitor(socketPath_, request, kRequestPatienceSeconds);
    refused_ = answer.refused;
    why_ = answer.why;
    return std::move(answer.lines);
}

std::string MonitorUnit::Words(const std::string& kind) const
{
    return kind + " " + Escape(port_.label) + " " + Escape(AbsolutePath(port_.path));
}

std::string MonitorUnit::RouteText() const
{
    return "through tornavel-monitor" + (monitorLabel_.empty() || monitorLabel_ == port_.label
                                             ? std::string()
                                             : ", which calls it " + monitorLabel_);
}

MonitorUnit::Reach MonitorUnit::Probe()
{
    const auto lines = Ask(Words("read"));
    if (!lines) {
        if (refused_) return Reach::Refused;
        if (why_.empty()) return Reach::NoMonitor;
        if (why_.rfind(kNotHeld, 0) == 0) return Reach::NotHeld;
        if (why_.rfind(kOtherDevice, 0) == 0) {
            why_.erase(0, kOtherDevice.size() + 1);
            return Reach::OtherUnit;
        }
        if (why_.find("only root") != std::string::npos) return Reach::Refused;
        return Reach::Held;  // held, but the monitor could not give the values: Open says why
    }
    for (const std::string& line : *lines) {
        const auto words = SplitWords(line);
        if (words.size() == 3 && words[0] == "unit") monitorLabel_ = Unescape(words[1]).value_or("");
        if (words.size() != 3 || words[0] != "slot") continue;
        const int slot = std::atoi(words[1].c_str());
        const auto text = Unescape(words[2]);
        if (slot >= 1 && slot <= kSlotCount && !SlotCommand(slot).empty() && text) record_.slot[slot] = *text;
    }
    reached_ = true;
    return Reach::Held;
}

bool MonitorUnit::Open(std::string& error)
{
    // The monitor's own messages start with its name for the unit.
    if (!reached_) error = why_.rfind(port_.label + ":", 0) == 0 ? why_ : port_.label + ": " + why_;
    return reached_;
}

SettingOutcome MonitorUnit::Change(const NamedSetting& setting, const std::string& value)
{
    const auto lines = Ask(Words("change") + " " + std::string(setting.name) + " " + Escape(value));
    if (lines && !lines->empty())
        if (auto outcome = ParseOutcomeLine(lines->front())) {
            record_.slot[setting.slot] = outcome->after;
            return *outcome;
        }
    SettingOutcome unknown;  // the monitor did not say how it went
    unknown.status = SettingOutcome::Status::Unconfirmed;
    unknown.before = unknown.after = record_.slot[setting.slot];
    return unknown;
}

TestOutcome MonitorUnit::Test(const Bytes& command)
{
    const auto lines = Ask(Words("test") + " " + Escape(command));
    if (!lines || lines->empty()) return {};
    const auto words = SplitWords(lines->front());
    if (words.size() != 3 || words[0] != "test") return {};
    return {true, Unescape(words[1]).value_or(Bytes()), Unescape(words[2]).value_or(Bytes())};
}

}  // namespace tornavel::ctl
