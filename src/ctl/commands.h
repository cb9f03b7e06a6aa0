#pragma once
#include <functional>
#include <memory>
#include <ostream>

#include "commandline.h"
#include "portname.h"
#include "unitaccess.h"

namespace tornavel::ctl {

// Gives the way to reach a unit: through the monitor that holds it, or its port.
using UnitSource = std::function<std::unique_ptr<UnitAccess>(const PortName& port)>;

// Runs one command; returns its exit status. Results go to `out`, messages
// to `err`.
int RunCommand(const CommandLine& line, UnitSource& units, std::ostream& out, std::ostream& err);

}  // namespace tornavel::ctl
