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
}  // namespace

bool sereCom(ComPort& port, Screen& screen, const PortHandle& handle, const Bytes& command,
             Bytes& answer)
{
    screen.SetVisible("ImageW", true);
    screen.ProcessMessages();
    const bool answered = port.Transact(handle, command, answer);
    screen.SetVisible("ImageW", false);
    return answered;
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

}  // namespace tornavel
