#pragma once
#include "serial/comport.h"

namespace tornavel {

struct Session;

// Line settings of every port the program opens.
inline constexpr std::uint32_t kUpsBaud = 2400;
inline constexpr std::uint8_t kUpsDataBits = 8;
inline constexpr char kUpsParity = 'N';
inline const Bytes kUpsStopBits = "1";
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 16;

// Finds the free ports among COM1..COM16, tells UPS units from modems and
// silent ports, reads each unit's model, serial number and manufacture date
// into the device table and lists them in the grid UPS. Runs on the window
// thread; `port` is the window thread's serial link.
void ComPortScan(Session& session, ComPort& port);

// The grid's rows from the device table (header row 0 excluded).
void ShowDeviceGrid(Session& session);

}  // namespace tornavel
