#include "unitsource.h"

#include "directunit.h"

namespace tornavel::ctl {

UnitSource MakeUnitSource(const CommandLine& line, Clock& clock, std::ostream&)
{
    return [&line, &clock](const PortName& port) -> std::unique_ptr<UnitAccess> {
        return std::make_unique<DirectUnit>(port, OpenerFor(port, line.portsDir), clock);
    };
}

}  // namespace tornavel::ctl
