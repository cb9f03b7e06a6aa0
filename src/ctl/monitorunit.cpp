#include "monitorunit.h"

#include <cstdlib>

#include "control/controlprotocol.h"
#include "controlclient.h"

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

MonitorUnit::Reach MonitorUnit::Probe()
{
    const auto lines = Ask("read " + port_.label);
    if (!lines) {
        if (refused_) return Reach::Refused;
        if (why_.empty()) return Reach::NoMonitor;
        if (why_.rfind(kNotHeld, 0) == 0) return Reach::NotHeld;
        if (why_.find("only root") != std::string::npos) return Reach::Refused;
        return Reach::Held;  // held, but the monitor could not give the values: Open says why
    }
    for (const std::string& line : *lines) {
        const auto words = SplitWords(line);
        if (words.size() != 3 || words[0] != "slot") continue;
        const int slot = std::atoi(words[1].c_str());
        const auto text = Unescape(words[2]);
        if (slot >= 1 && slot <= kReadSlotCount && text) record_.slot[slot] = *text;
    }
    reached_ = true;
    return Reach::Held;
}

bool MonitorUnit::Open(std::string& error)
{
    if (!reached_) error = port_.label + ": " + why_;
    return reached_;
}

SettingOutcome MonitorUnit::Change(const NamedSetting& setting, const std::string& value)
{
    const auto lines = Ask("change " + port_.label + " " + std::string(setting.name) + " " + Escape(value));
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
    const auto lines = Ask("test " + port_.label + " " + Escape(command));
    if (!lines || lines->empty()) return {};
    const auto words = SplitWords(lines->front());
    if (words.size() != 3 || words[0] != "test") return {};
    return {true, Unescape(words[1]).value_or(Bytes()), Unescape(words[2]).value_or(Bytes())};
}

}  // namespace tornavel::ctl
