// tornavelctl: reads and changes Smart-UPS settings from a shell, through a
// running tornavel-monitor or on the port itself.
#include <signal.h>

#include <iostream>

#include "clock.h"
#include "interruption.h"
#include "runcommand.h"
#include "unitsource.h"

using namespace tornavel::ctl;

int main(int argc, char** argv)
{
    const CommandLine line = ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    ::signal(SIGPIPE, SIG_IGN);  // a pulled adapter or a vanished monitor must not end the program
    CatchEndSignals();
    tornavel::SteadyClock clock;
    UnitSource units = MakeUnitSource(line, clock);
    Diagnoser diagnose = MakeDiagnoser(line, clock);
    return RunCommand(line, units, diagnose, std::cout, std::cerr);
}
