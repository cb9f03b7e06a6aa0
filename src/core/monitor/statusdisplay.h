#pragma once
#include <cstdint>
#include <string>

#include "bytes.h"

namespace tornavel {

class DeviceTable;
class Screen;

// Leading whole number of an answer: blanks and control bytes around it are
// ignored, the digit run at the start is read, anything else gives 0.
std::int32_t s2int(const Bytes& text);
// Non-empty and every character a hex digit, either case.
bool IsHexText(const Bytes& text);
// Value of a one- or two-digit hex text; 0 for anything else.
int HexByteValue(const Bytes& text);

// Status text for EditSTATUS; on a hex answer also sets the eight status
// icons and the calibration indicators.
std::string MakeStatus(Screen& screen, const Bytes& status);
// The two gauges, from the answers to "f" and "P".
void SetBatt(Screen& screen, const Bytes& charge);
void SetLoad(Screen& screen, const Bytes& load);
// Copies the connected record into the monitor page.
void UpdateScreen(Screen& screen, const DeviceTable& table);

}  // namespace tornavel
