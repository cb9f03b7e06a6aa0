#pragma once
#include <string>

#include "bytes.h"

namespace tornavel {

class DeviceTable;
class Screen;

// Status text for EditSTATUS; on a hex answer also sets the eight status
// icons and the calibration indicators.
std::string MakeStatus(Screen& screen, const Bytes& status);
// The two gauges, from the answers to "f" and "P".
void SetBatt(Screen& screen, const Bytes& charge);
void SetLoad(Screen& screen, const Bytes& load);
// Copies the connected record into the monitor page.
void UpdateScreen(Screen& screen, const DeviceTable& table);

}  // namespace tornavel
