#include "monitorunit.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "control/controlprotocol.h"
#include "control/linesocket.h"
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
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath_.size() >= sizeof address.sun_path) {
        why_ = "control socket path too long";
        return std::nullopt;
    }
    std::memcpy(address.sun_path, socketPath_.c_str(), socketPath_.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int error = errno;
        ::close(fd);
        refused_ = error == EACCES || error == EPERM;
        why_ = refused_ ? "only root may use tornavel-monitor's control socket " + socketPath_ : "";
        return std::nullopt;
    }
    SetTimeouts(fd, kRequestPatienceSeconds);
    std::vector<std::string> lines;
    std::optional<std::string> line;
    // A monitor that refuses says why at once and may close before reading
    // the request: its answer is read whatever became of the writing.
    if (WriteLine(fd, kGreeting)) WriteLine(fd, request);
    while ((line = ReadLine(fd, kMaxLine)) && *line != kOk && line->rfind(kError, 0) != 0) lines.push_back(*line);
    ::close(fd);
    if (line && *line == kOk) return lines;
    why_ = line ? line->substr(std::min(line->size(), kError.size() + 1))
                : "tornavel-monitor did not finish its answer on " + socketPath_;
    return std::nullopt;
}

std::string MonitorUnit::Words(const std::string& kind) const
{
    return kind + " " + Escape(port_.label) + " " + Escape(AbsolutePath(port_.path));
}

std::string MonitorUnit::RouteText() const
{
    return "through tornavel-monitor" +
           (monitorLabel_.empty() || monitorLabel_ == port_.label ? std::string() : ", which calls it " + monitorLabel_);
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
