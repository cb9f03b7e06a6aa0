#pragma once
#include "serial/comport.h"

namespace tornavel {

// Every port is opened with the settings of the UPS's smart protocol:
// 2400 baud, 8 data bits, no parity, 1 stop bit.
PortHandle OpenUpsPort(ComPort& port, int number);

}  // namespace tornavel
