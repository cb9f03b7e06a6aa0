#pragma once
#include "clock.h"
#include "runcommand.h"

namespace tornavel::ctl {

// The monitor's socket when a monitor answers on it and holds the port,
// the port itself otherwise.
UnitSource MakeUnitSource(const CommandLine& line, Clock& clock);

// Diagnoses a port on the line itself.
Diagnoser MakeDiagnoser(const CommandLine& line, Clock& clock);

}  // namespace tornavel::ctl
