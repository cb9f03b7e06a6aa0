#pragma once
#include "protocol/scanevents.h"
#include "serial/comport.h"

namespace tornavel {

struct Session;

// Finds the free ports among COM1..COM16, tells UPS units from modems and
// silent ports, reads each unit's model, serial number and manufacture date
// into the device table, telling `events` how it goes. Runs on the window
// thread; `port` is the window thread's serial link.
void ComPortScan(Session& session, ComPort& port, ScanEvents& events);

}  // namespace tornavel
