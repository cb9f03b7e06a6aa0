#pragma once
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "events/eventlog.h"
#include "protection/hostshutdown.h"
#include "units/unitworker.h"

namespace tornavel::service {

struct ControlledUnit {
    std::string label;
    std::string device;  // the device file the monitor opens for it
    UnitWorker* worker;
    // Held for a whole change or test: the socket serves clients at once,
    // and two changes must not interleave their steps on one unit.
    std::shared_ptr<std::mutex> changing = std::make_shared<std::mutex>();
};

// Answers one request of the control socket (see control/controlprotocol.h):
// read a unit's values, bring a setting to a value by name, or run one of
// the unit's tests. The request's device file picks the unit; a label the
// monitor gives to another device is refused. Every change and test is
// handed to the unit's own polling loop and logged as an event when it sent
// something; nothing else reaches a unit. Safe from several threads.
std::vector<std::string> AnswerControlRequest(const std::vector<std::string>& words,
                                              const std::vector<ControlledUnit>& units, EventLog& log);

// Answers "cancel-shutdown": the host's recorded decision is withdrawn (see
// HostShutdown::Cancel), with a "cancelled PORT" line naming its unit; `host`
// is null without protection.
std::vector<std::string> AnswerCancelShutdown(HostShutdown* host);

}  // namespace tornavel::service
