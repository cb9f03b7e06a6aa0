#pragma once
#include "bytes.h"
#include "serial/comport.h"

namespace tornavel {

class AlertReporter;
class Screen;

// The window thread's transaction: the busy picture is shown and pending
// window events are handled around it.
bool sereCom(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
             Bytes& answer);

// The first line of the answer to one command, after the alert filter. An
// exchange that fails gives the empty text: a slot only ever holds the answer
// to its own command, never the leftover of an earlier one.
Bytes AskLine(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts);
// The same through sereCom, for the window thread.
Bytes sereLine(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
               AlertReporter& alerts);

// A field of the full read or of the monitoring cycle. Whatever is already
// waiting before the command goes out is taken first: its alerts count and
// are shown, the rest (a late answer to the previous command) is dropped, so
// a slow unit leaves a field empty instead of filling it with another
// command's answer. Nothing is waited for and no byte sent changes.
Bytes AskField(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts);
Bytes sereField(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
                AlertReporter& alerts);

}  // namespace tornavel
