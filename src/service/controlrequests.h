#pragma once
#include <string>
#include <vector>

#include "eventlog.h"
#include "protector.h"
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

// Answers "cancel-shutdown": every recorded decision of these protectors is
// withdrawn (see Protector::Cancel); one "cancelled PORT" line for each.
std::vector<std::string> AnswerCancelShutdown(const std::vector<Protector*>& protectors);

}  // namespace tornavel::service
