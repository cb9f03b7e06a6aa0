#pragma once
#include <string>
#include <utility>
#include <vector>

namespace tornavel::service {

// Something that happened to the monitor or to one unit: an alert from the
// unit, a link lost or regained, a port not available, the start and stop.
struct Event {
    std::string time;     // UTC, e.g. 2026-12-10T13:25:01.123Z
    std::string port;     // the port label, "-" for the monitor itself
    std::string name;     // e.g. mains_failure, link_lost, start
    std::string message;  // printable text, e.g. "Сбой сети."
    // More for the event program, as TORNAVEL_<KEY> variables (model, serial).
    std::vector<std::pair<std::string, std::string>> details;
};

// The present time as an event's timestamp.
std::string EventTimeNow();

}  // namespace tornavel::service
