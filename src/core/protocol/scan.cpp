#include "protocol/scan.h"

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/upsline.h"
#include "session.h"
#include "text/cp1251.h"

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
void IdentifyDevice(Session& session, ComPort& port, const PortHandle& handle, int index)
{
    Screen& screen = session.screen;
    DeviceTable& table = session.table;
    Bytes answer;
    if (!sereCom(port, screen, handle, cmd::kSmartMode, answer)) {
        table.SetSlotOf(index, kSlotModel, kMarkNothing);
        return;
    }
    if (answer == cmd::answer::kModemEcho) {
        // Something that echoes what it gets, as a modem in command mode does.
        Bytes reply;
        const bool modem = sereCom(port, screen, handle, cmd::kModemProbe, reply) &&
                           Lower(reply) == cmd::answer::kModem;
        table.SetSlotOf(index, kSlotModel, modem ? kMarkModem : kMarkNothing);
        return;
    }
    auto read = [&](const Bytes& command, int slot) {
        table.SetSlotOf(index, slot, sereLine(port, screen, handle, command, session.alerts));
    };
    read(cmd::kModel, kSlotModel);
    read(cmd::kSerial, kSlotSerial);
    read(cmd::kMadeDate, kSlotMadeDate);
    sereCom(port, screen, handle, cmd::kLeaveSmart, answer);  // back to dumb mode; not examined
}

// The grid's rows from the device table, below its header row.
void ShowDeviceGrid(Session& session)
{
    Screen& screen = session.screen;
    const int count = session.table.Count();
    screen.SetRowCount("UPS", std::max(count, 1) + 1);  // the header, and one empty row at least
    for (int j = 0; j < count; ++j) {
        const apcrec record = session.table.Record(j);
        screen.SetCell("UPS", 0, j + 1, "COM" + std::to_string(record.port));
        screen.SetCell("UPS", 1, j + 1, Cp1251ToUtf8(record.slot[kSlotModel]));
        screen.SetCell("UPS", 2, j + 1, Cp1251ToUtf8(record.slot[kSlotSerial]));
        screen.SetCell("UPS", 3, j + 1, Cp1251ToUtf8(record.slot[kSlotMadeDate]));
    }
}

// "COM1: занят (tornavel-monitor)": a port another program holds, named so
// that the user knows what to stop.
std::string BusyPortText(int number, const LockHolder& holder)
{
    const std::string who = holder.program.empty() ? "процесс " + std::to_string(holder.pid) : holder.program;
    return "COM" + std::to_string(number) + ": занят (" + who + ")";
}

// The scan's closing status: its result, then the ports found held.
std::string ClosingText(std::string result, const std::vector<std::string>& busy)
{
    for (const auto& port : busy) result += (result.empty() ? "" : ", ") + port;
    return result;
}

}  // namespace

void ComPortScan(Session& session, ComPort& port)
{
    Screen& screen = session.screen;
    DeviceTable& table = session.table;

    screen.SetRowCount("UPS", 1);  // drop every row but the header,
    screen.SetRowCount("UPS", 2);  // then one cleared row
    screen.SetText("LabelST", "ждите, идет опрос COM портов...");
    screen.ProcessMessages();
    table.Clear();

    // First pass: which ports exist and are free. Nothing is sent.
    std::vector<std::string> busy;
    for (int number = kFirstPort; number <= kLastPort; ++number) {
        if (PortHandle handle = OpenUpsPort(port, number)) {
            table.Add(number);
            port.ClosePort(handle);
        } else if (const auto holder = port.PortHolder(number)) {
            busy.push_back(BusyPortText(number, *holder));
        }
    }
    if (table.Count() == 0) {
        // Ports held by others exist all the same: naming them says more.
        screen.SetText("LabelST", busy.empty() ? "COM порты не обнаружены" : ClosingText({}, busy));
        return;
    }

    screen.SetText("LabelST", "ждите, идет поиск устройств...");
    screen.ProcessMessages();
    for (int index = 0; index < table.Count(); ++index) {
        // A port taken by another program since the first pass keeps an empty row.
        PortHandle handle = OpenUpsPort(port, table.Record(index).port);
        if (!handle) continue;
        IdentifyDevice(session, port, handle, index);
        port.ClosePort(handle);
    }
    ShowDeviceGrid(session);
    screen.SetText("LabelST", ClosingText("ready", busy));
}

}  // namespace tornavel
