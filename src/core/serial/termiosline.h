#pragma once
#include <termios.h>

#include "serial/serialdevice.h"

namespace tornavel {

// Turns a terminal's current termios into the program's raw line: no echo,
// no line editing, no translation, no flow control, reads that return at
// once, and the given speed, data bits, parity and stop bits. False (and t
// untouched) for data bits outside 5 to 8. A baud rate that is not a standard
// one keeps the speed the terminal had.
bool MakeRawLine(const LineSettings& settings, termios& t);

// The line settings a termios describes. A speed that is not a standard rate
// leaves settings.baud as it was.
void ReadLine(const termios& t, LineSettings& settings);

}  // namespace tornavel
