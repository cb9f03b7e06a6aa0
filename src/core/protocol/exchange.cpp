#include "protocol/exchange.h"

#include <algorithm>

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

// Returns how many whole lines were dropped (alerts end no line).
int DropWaiting(ComPort& port, const PortHandle& handle, AlertReporter& alerts)
{
    const int waiting = port.InQueue(handle);
    if (waiting <= 0) return 0;
    Bytes late;
    port.ReadPort(handle, waiting, late);
    const int lines = static_cast<int>(std::count(late.begin(), late.end(), '\n'));
    Bytes dropped;
    FilterAnswer(late, dropped, alerts);  // only the alerts count
    return lines;
}

FieldAnswer OrderedField(bool answered, Bytes& answer, AlertReporter& alerts, AnswerOrder& order)
{
    FieldAnswer field{FilteredLine(answered, answer, alerts), order.Settled()};
    if (field.line.empty()) {
        field.settled = false;
        order.Unanswered();
    }
    return field;
}

// The window's events are handled before the command goes out; a field's
// late bytes are dropped after that, right before the write, since a late
// answer may well arrive while the window is busy.
bool BusyTransact(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle, const Bytes& command,
                  Bytes& answer, AlertReporter* dropLateFor, AnswerOrder* order)
{
    busy.ExchangeBusy(true);
    screen.ProcessMessages();
    if (dropLateFor) order->LinesDropped(DropWaiting(port, handle, *dropLateFor));
    const bool answered = port.Transact(handle, command, answer);
    busy.ExchangeBusy(false);
    return answered;
}
}  // namespace

bool sereCom(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle, const Bytes& command,
             Bytes& answer)
{
    return BusyTransact(port, screen, busy, handle, command, answer, nullptr, nullptr);
}

LineAnswer AskAnswer(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts)
{
    Bytes answer;
    const bool answered = port.Transact(handle, command, answer);
    // An alert character alone ends no line: the answer may still be owed.
    const bool lineEnded = answered && answer.find('\n') != Bytes::npos;
    return {FilteredLine(answered, answer, alerts), lineEnded};
}

Bytes AskLine(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts)
{
    return AskAnswer(port, handle, command, alerts).line;
}

Bytes sereLine(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle, const Bytes& command,
               AlertReporter& alerts)
{
    Bytes answer;
    const bool answered = sereCom(port, screen, busy, handle, command, answer);
    return FilteredLine(answered, answer, alerts);
}

FieldAnswer AskField(ComPort& port, const PortHandle& handle, const Bytes& command, AlertReporter& alerts,
                     AnswerOrder& order)
{
    order.LinesDropped(DropWaiting(port, handle, alerts));
    Bytes answer;
    const bool answered = port.Transact(handle, command, answer);
    return OrderedField(answered, answer, alerts, order);
}

FieldAnswer sereField(ComPort& port, Screen& screen, ExchangeEvents& busy, const PortHandle& handle,
                      const Bytes& command, AlertReporter& alerts, AnswerOrder& order)
{
    Bytes answer;
    const bool answered = BusyTransact(port, screen, busy, handle, command, answer, &alerts, &order);
    return OrderedField(answered, answer, alerts, order);
}

}  // namespace tornavel
