#pragma once
#include <string>
#include <string_view>

#include "bytes.h"
#include "protocol/devicetable.h"

namespace tornavel {

class Screen;

// Status text for EditSTATUS; on a hex answer also sets the eight status
// icons and the calibration indicators.
std::string MakeStatus(Screen& screen, const Bytes& status);
// The two gauges, from the answers to "f" and "P".
void SetBatt(Screen& screen, const Bytes& charge);
void SetLoad(Screen& screen, const Bytes& load);
// The monitoring page's edit box that shows the reading in `slot`, or empty.
std::string_view MonitorField(int slot);
// Copies the connected record into the monitor page.
void UpdateScreen(Screen& screen, const apcrec& record);
// An alert or acknowledgement the unit sent, on the message labels.
void ShowAlert(Screen& screen, const Bytes& token);

// "COM1 отключен, ждите его возвращения...": the unit's device has gone.
std::string PortGoneText(int port);
// The window without a connection.
void ShowIdle(Screen& screen);

}  // namespace tornavel
