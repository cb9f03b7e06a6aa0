#include "scanpresenter.h"

#include <algorithm>
#include <string>

#include "text/cp1251.h"

using namespace tornavel;

namespace {

// "COM1: занят (tornavel-monitor)": a port another program holds, named so
// that the user knows what to stop.
std::string HeldPortText(const HeldPort& held)
{
    const LockHolder& holder = held.holder;
    const std::string who = holder.program.empty() ? "процесс " + std::to_string(holder.pid) : holder.program;
    return "COM" + std::to_string(held.number) + ": занят (" + who + ")";
}

// The scan's closing status: its result, then the ports found held.
std::string ClosingText(std::string result, const std::vector<HeldPort>& held)
{
    for (const auto& port : held) result += (result.empty() ? "" : ", ") + HeldPortText(port);
    return result;
}

}  // namespace

void ScanPresenter::ScanStarted()
{
    screen_.SetRowCount("UPS", 1);  // drop every row but the header,
    screen_.SetRowCount("UPS", 2);  // then one cleared row
    screen_.SetText("LabelST", "ждите, идет опрос COM портов...");
    screen_.ProcessMessages();
}

void ScanPresenter::IdentifyingUnits()
{
    screen_.SetText("LabelST", "ждите, идет поиск устройств...");
    screen_.ProcessMessages();
}

void ScanPresenter::ScanEnded(const DeviceTable& table, const std::vector<HeldPort>& held)
{
    if (table.Count() == 0) {
        // Ports held by others exist all the same: naming them says more.
        screen_.SetText("LabelST", held.empty() ? "COM порты не обнаружены" : ClosingText({}, held));
        return;
    }
    ShowDeviceGrid(table);
    screen_.SetText("LabelST", ClosingText("ready", held));
}

// The grid's rows from the device table, below its header row.
void ScanPresenter::ShowDeviceGrid(const DeviceTable& table)
{
    const int count = table.Count();
    screen_.SetRowCount("UPS", std::max(count, 1) + 1);  // the header, and one empty row at least
    for (int j = 0; j < count; ++j) {
        const apcrec record = table.Record(j);
        screen_.SetCell("UPS", 0, j + 1, "COM" + std::to_string(record.port));
        screen_.SetCell("UPS", 1, j + 1, Cp1251ToUtf8(record.slot[kSlotModel]));
        screen_.SetCell("UPS", 2, j + 1, Cp1251ToUtf8(record.slot[kSlotSerial]));
        screen_.SetCell("UPS", 3, j + 1, Cp1251ToUtf8(record.slot[kSlotMadeDate]));
    }
}

void ScanPresenter::ExchangeBusy(bool busy)
{
    screen_.SetVisible("ImageW", busy);
}
