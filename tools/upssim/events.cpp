#include "events.h"

#include "escapes.h"

#include <cstdio>

namespace {

void complain(const std::string& line, const std::string& why)
{
    std::fprintf(stderr, "upssim: %s: %s\n", why.c_str(), line.c_str());
}

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// "WORD rest": the first word and the rest without its leading blanks.
std::pair<std::string, std::string> firstWord(const std::string& text)
{
    const size_t space = text.find_first_of(" \t");
    if (space == std::string::npos) return {text, {}};
    const size_t rest = text.find_first_not_of(" \t", space);
    return {text.substr(0, space), rest == std::string::npos ? std::string() : text.substr(rest)};
}

// The events every port knows, whatever is behind it.
EventResult portEvent(PtyPort& port, const std::string& name, const std::string& argument, double now)
{
    if (name == "send") {
        const auto bytes = decodeEscapes(argument);
        if (!bytes || bytes->empty()) return EventResult::BadArgument;
        port.alert(*bytes);
        return EventResult::Done;
    }
    if (name == "silent") {
        if (argument != "on" && argument != "off") return EventResult::BadArgument;
        port.setSilent(argument == "on");
        return EventResult::Done;
    }
    if (name == "unplug" || name == "plug") {
        if (!argument.empty()) return EventResult::BadArgument;
        if ((name == "unplug") != port.plugged()) return EventResult::NotNow;
        std::string error;
        if (name == "unplug")
            port.unplug(now);
        else if (!port.plug(now, error))
            std::fprintf(stderr, "upssim: %s\n", error.c_str());
        return EventResult::Done;
    }
    return EventResult::Unknown;
}

} // namespace

void applyEvent(const std::string& rawLine, std::vector<std::unique_ptr<PtyPort>>& ports, double now)
{
    const std::string line = trimmed(rawLine);
    if (line.empty() || line[0] == '#') return;
    const auto [portName, rest] = firstWord(line);
    const auto [name, argument] = firstWord(rest);

    PtyPort* port = nullptr;
    for (auto& p : ports)
        if (p->name() == portName) port = p.get();
    if (!port) return complain(line, "no such port " + portName);
    if (name.empty()) return complain(line, "no event");

    EventResult result = portEvent(*port, name, argument, now);
    if (result == EventResult::Unknown) result = port->device().event(name, argument, now);
    switch (result) {
    case EventResult::Done: port->note("event " + rest); break;
    case EventResult::Unknown:
        complain(line, std::string("unknown event for a port of kind ") + kindName(port->kind()));
        break;
    case EventResult::BadArgument: complain(line, "bad or missing argument"); break;
    case EventResult::NotNow:
        complain(line, port->name() + " is " + (port->plugged() ? "plugged" : "unplugged") + " already");
        break;
    }
}
