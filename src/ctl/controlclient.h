#pragma once
#include <optional>
#include <string>
#include <vector>

namespace tornavel::ctl {

// One request to tornavel-monitor's control socket (see
// control/controlprotocol.h) and its answer.
struct ControlAnswer {
    bool reached = false;                           // a monitor accepted the connection
    bool refused = false;                           // the socket is there but not ours to use
    std::optional<std::vector<std::string>> lines;  // the lines before "ok"; nullopt: no "ok"
    std::string why;                                // without "ok": the monitor's error, or what went wrong
};

// `patienceSeconds` bounds every wait for the monitor.
ControlAnswer AskMonitor(const std::string& socketPath, const std::string& request, int patienceSeconds);

}  // namespace tornavel::ctl
