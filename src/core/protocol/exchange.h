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

}  // namespace tornavel
