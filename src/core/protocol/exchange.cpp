#include "protocol/exchange.h"

#include "protocol/alerts.h"
#include "shared/screen.h"

namespace tornavel {

namespace {
Bytes FilteredLine(bool answered, Bytes& answer, AlertReporter& alerts)
{
    Bytes line;
    if (answered) FilterAnswer(answer, line, alerts);
    return line;
}

void DropWaiting(ComPort& port, const PortHandle& handle, AlertReporter& alerts)
{
    const int waiting = port.InQueue(handle);
    if (waiting <= 0) return;
    Bytes late;
    port.ReadPort(handle, waiting, late);
    Bytes dropped;
    FilterAnswer(late, dropped, alerts);  // only the alerts count
}

// The window's events are handled before the command goes out; a field's
// late bytes are dropped after that, right before the write, since a late
// answer may well arrive while the window is busy.
bool BusyTransact(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command, Bytes& answer,
                  AlertReporter* dropLateFor)
{
    screen.SetVisible("ImageW", true);
    screen.ProcessMessages();
    if (dropLateFor) DropWaiting(port, handle, *dropLateFor);
    const bool answered = port.Transact(handle, command, answer);
    screen.SetVisible("ImageW", false);
    return answered;
}
}  // namespace

bool sereCom(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
             Bytes& answer)
{
    return BusyTransact(port, screen, handle, command, answer, nullptr);
}

Bytes AskLine(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts)
{
    Bytes answer;
    const bool answered = port.Transact(handle, command, answer);
    return FilteredLine(answered, answer, alerts);
}

Bytes sereLine(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
               AlertReporter& alerts)
{
    Bytes answer;
    const bool answered = sereCom(port, screen, handle, command, answer);
    return FilteredLine(answered, answer, alerts);
}

Bytes AskField(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts)
{
    DropWaiting(port, handle, alerts);
    return AskLine(port, handle, command, alerts);
}

Bytes sereField(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
                AlertReporter& alerts)
{
    Bytes answer;
    const bool answered = BusyTransact(port, screen, handle, command, answer, &alerts);
    return FilteredLine(answered, answer, alerts);
}

}  // namespace tornavel
