#pragma once
#include <string>
#include <vector>

#include "eventlog.h"
#include "hostshutdown.h"
#include "unitworker.h"

namespace tornavel::service {

struct ControlledUnit {
    std::string label;
    UnitWorker* worker;
};

// Answers one request of the control socket (see control/controlprotocol.h):
// read a unit's values, bring a setting to a value by name, or run one of
// the unit's tests. Every change and test is handed to the unit's own
// polling loop and logged as an event; nothing else reaches a unit.
std::vector<std::string> AnswerControlRequest(const std::vector<std::string>& words,
                                              const std::vector<ControlledUnit>& units, EventLog& log);

// Answers "cancel-shutdown": the host's recorded decision is withdrawn (see
// HostShutdown::Cancel), with a "cancelled PORT" line naming its unit; `host`
// is null without protection.
std::vector<std::string> AnswerCancelShutdown(HostShutdown* host);

}  // namespace tornavel::service
