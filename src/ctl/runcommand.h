#pragma once
#include <functional>
#include <memory>
#include <ostream>

#include "commandline.h"
#include "diagnose.h"
#include "portname.h"
#include "unitaccess.h"

namespace tornavel::ctl {

// The version of every --json answer's shape (its "version" field); it
// changes only when a field changes meaning or goes away.
inline constexpr int kJsonVersion = 1;

// Gives the way to reach a unit: through the monitor that holds it, or its port.
using UnitSource = std::function<std::unique_ptr<UnitAccess>(const PortName& port)>;
// Runs the diagnosis of a port (it always opens the port itself).
using Diagnoser = std::function<Diagnosis(const PortName& port)>;

// Runs one command; returns its exit status. Results go to `out`, messages
// to `err`; with --json, `out` gets exactly one JSON object whatever happens.
int RunCommand(const CommandLine& line, UnitSource& units, Diagnoser& diagnose, std::ostream& out, std::ostream& err);

}  // namespace tornavel::ctl
