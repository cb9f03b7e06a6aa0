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
// Runs the diagnosis of a port (it always opens the port itself).
using Diagnoser = std::function<int(const PortName& port, std::ostream& out, std::ostream& err)>;

// Runs one command; returns its exit status. Results go to `out`, messages
// to `err`.
int RunCommand(const CommandLine& line, UnitSource& units, Diagnoser& diagnose, std::ostream& out,
               std::ostream& err);

}  // namespace tornavel::ctl
