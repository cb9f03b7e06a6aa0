#pragma once
#include <string>

#include "clock.h"
#include "portname.h"
#include "serial/serialdevice.h"

namespace tornavel::ctl {

// A first look at a unit for a first run on real hardware or a bug report:
// the line settings read back after the open, the handshake and the full
// read made by the program's own code, every answer timed (first and last
// byte seen, against the 500 ms limit) and shown escaped, and what is
// unusual (silence, late or split answers, refusals, alerts). Ends with "R"
// as every connection does; changes nothing on the unit.
struct Diagnosis {
    bool smartUps = false;  // "Y" answered "SM"
    std::string report;
};

Diagnosis Diagnose(const PortName& port, PortOpener& opener, Clock& clock);

}  // namespace tornavel::ctl
