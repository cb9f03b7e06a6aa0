#include "protocol/scan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/upsline.h"
#include "session.h"

namespace tornavel {

namespace {

Bytes Lower(Bytes text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// What answers on one port: a UPS (identity read into its record), a modem,
// or nothing.
void IdentifyDevice(Session& session, ComPort& port, ScanEvents& events, const PortHandle& handle, int index)
{
    Screen& screen = session.screen;
    DeviceTable& table = session.table;
    Bytes answer;
    if (!sereCom(port, screen, events, handle, cmd::kSmartMode, answer)) {
        table.SetSlotOf(index, kSlotModel, kMarkNothing);
        return;
    }
    if (answer == cmd::answer::kModemEcho) {
        // Something that echoes what it gets, as a modem in command mode does.
        Bytes reply;
        const bool modem = sereCom(port, screen, events, handle, cmd::kModemProbe, reply) &&
                           Lower(reply) == cmd::answer::kModem;
        table.SetSlotOf(index, kSlotModel, modem ? kMarkModem : kMarkNothing);
        return;
    }
    auto read = [&](const Bytes& command, int slot) {
        table.SetSlotOf(index, slot, sereLine(port, screen, events, handle, command, session.alerts));
    };
    read(cmd::kModel, kSlotModel);
    read(cmd::kSerial, kSlotSerial);
    read(cmd::kMadeDate, kSlotMadeDate);
    sereCom(port, screen, events, handle, cmd::kLeaveSmart, answer);  // back to dumb mode; not examined
}

}  // namespace

void ComPortScan(Session& session, ComPort& port, ScanEvents& events)
{
    DeviceTable& table = session.table;

    events.ScanStarted();
    table.Clear();

    // First pass: which ports exist and are free. Nothing is sent.
    std::vector<HeldPort> held;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        if (PortHandle handle = OpenUpsPort(port, number)) {
            table.Add(number);
            port.ClosePort(handle);
        } else if (const auto holder = port.PortHolder(number)) {
            held.push_back({number, *holder});
        }
    }
    if (table.Count() > 0) {
        events.IdentifyingUnits();
        for (int index = 0; index < table.Count(); ++index) {
            // A port taken by another program since the first pass keeps an empty row.
            PortHandle handle = OpenUpsPort(port, table.Record(index).port);
            if (!handle) continue;
            IdentifyDevice(session, port, events, handle, index);
            port.ClosePort(handle);
        }
    }
    events.ScanEnded(table, held);
}

}  // namespace tornavel
