#include "events.h"

#include "escapes.h"

#include <cstdio>

namespace upssim {

namespace {

void Complain(const std::string& line, const std::string& why)
{
    std::fprintf(stderr, "upssim: %s: %s\n", why.c_str(), line.c_str());
}

std::string Trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "WORD rest": the first word and the rest without its leading blanks.
std::pair<std::string, std::string> FirstWord(const std::string& text)
{
    const size_t space = text.find_first_of(" \t");
    if (space == std::string::npos) return {text, {}};
    const size_t rest = text.find_first_not_of(" \t", space);
    return {text.substr(0, space), rest == std::string::npos ? std::string() : text.substr(rest)};
}

// The events every port knows, whatever is behind it.
EventResult PortEvent(PtyPort& port, const std::string& name, const std::string& argument, double now)
{
    if (name == "send") {
        const auto bytes = DecodeEscapes(argument);
        if (!bytes || bytes->empty()) return EventResult::BadArgument;
        port.Alert(*bytes);
        return EventResult::Done;
    }
    if (name == "silent") {
        if (argument != "on" && argument != "off") return EventResult::BadArgument;
        port.SetSilent(argument == "on");
        return EventResult::Done;
    }
    if (name == "delay") {
        // Whole milliseconds, as --delay takes them.
        if (argument.empty() || argument.size() > 6 || argument.find_first_not_of("0123456789") != std::string::npos)
            return EventResult::BadArgument;
        port.SetDelay(std::stoi(argument));
        return EventResult::Done;
    }
    if (name == "unplug" || name == "plug") {
        if (!argument.empty()) return EventResult::BadArgument;
        if ((name == "unplug") != port.plugged()) return EventResult::NotNow;
        std::string error;
        if (name == "unplug")
            port.Unplug(now);
        else if (!port.Plug(now, error))
            std::fprintf(stderr, "upssim: %s\n", error.c_str());
        return EventResult::Done;
    }
    return EventResult::Unknown;
}

}  // namespace

void ApplyEvent(const std::string& rawLine, std::vector<std::unique_ptr<PtyPort>>& ports, double now)
{
    const std::string line = Trimmed(rawLine);
    if (line.empty() || line[0] == '#') return;
    const auto [portName, rest] = FirstWord(line);
    const auto [name, argument] = FirstWord(rest);

    PtyPort* port = nullptr;
    for (auto& p : ports)
        if (p->name() == portName) port = p.get();
    if (!port) return Complain(line, "no such port " + portName);
    if (name.empty()) return Complain(line, "no event");

    EventResult result = PortEvent(*port, name, argument, now);
    if (result == EventResult::Unknown) result = port->device().Event(name, argument, now);
    switch (result) {
    case EventResult::Done: port->Note("event " + rest); break;
    case EventResult::Unknown:
        Complain(line, std::string("unknown event for a port of kind ") + KindName(port->kind()));
        break;
    case EventResult::BadArgument: Complain(line, "bad or missing argument"); break;
    case EventResult::NotNow:
        Complain(line, port->name() + " is " + (port->plugged() ? "plugged" : "unplugged") + " already");
        break;
    }
}

}  // namespace upssim
