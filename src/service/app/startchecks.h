#pragma once
#include <optional>
#include <string>

#include "app/monitoroptions.h"

namespace tornavel::service {

// What makes a command line unusable although it reads well: an event
// program that is absent or cannot be run, and one device named twice
// (COM1 and /dev/ttyS0, or a link in /dev/serial/by-id), which would leave
// one unit's worker finding its port busy forever. A port that does not
// exist yet is not a problem: it is retried. Host protection without a
// readable boot id, whose decision the root side could not tell from an
// earlier boot's. A --follow-ca or --follow-auth file that cannot be read.
// The reason in one line.
std::optional<std::string> StartProblem(const MonitorOptions& options);
// Only the boot id.
std::optional<std::string> BootIdProblem(const ProtectOptions& protection);
// Only the follower's files.
std::optional<std::string> FollowerFileProblem(const ProtectOptions& protection);
// Only the second: one device named twice.
std::optional<std::string> SameDeviceTwice(const MonitorOptions& options);

}  // namespace tornavel::service
