#pragma once
#include "serial/comport.h"

namespace tornavel {

struct Session;

// Opens the unit of grid row `row` (row r lists apcList entry r - 1), requires
// "SM" to "Y" and reads all thirty values. False leaves the port closed.
bool OpenAndRead(Session& session, ComPort& port, int row);

// The full read: commands of slots 1..30 in order, reported as it goes.
void ReadAll(Session& session, ComPort& port);

// After the full read, for the monitor and tornavelctl only (the window's
// traffic stays as it is): the power-return settings and the last self-test
// result and transfer cause (slots 32..37, the self-test result last).
void ReadPowerReturn(Session& session, ComPort& port);

// After the polling thread has ended: the UPS leaves smart mode and the port
// is closed a second later. When the thread ended because the device
// vanished, nothing is sent. Reported as ConnectionClosed.
void CloseConnection(Session& session, ComPort& port);

}  // namespace tornavel
