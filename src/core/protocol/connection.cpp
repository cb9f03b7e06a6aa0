#include "protocol/connection.h"

#include "monitor/statusdisplay.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/upsline.h"
#include "session.h"

namespace tornavel {

namespace {
constexpr int kCloseDelayMs = 1000;
}

bool OpenAndRead(Session& session, ComPort& port, int row)
{
    DeviceTable& table = session.table;
    if (row < 1 || row > table.Count()) return false;  // no port in that row
    const apcrec record = table.Record(row - 1);
    const Bytes& device = record.slot[kSlotModel];
    if (device == kMarkNothing || device == kMarkModem) return false;

    table.SetApcIndex(row - 1);
    session.requests.lineGone = false;
    session.hCom = OpenUpsPort(port, record.port);
    if (!session.hCom) return false;
    if (sereLine(port, session.screen, session.hCom, cmd::kSmartMode, session.alerts) ==
        cmd::answer::kSmartMode) {
        ReadAll(session, port);
        return true;
    }
    port.ClosePort(session.hCom);
    session.hCom = nullptr;
    return false;
}

void ReadAll(Session& session, ComPort& port)
{
    Screen& screen = session.screen;
    screen.SetText("LabelST", "идёт опрос устройства...");
    screen.SetVisible("ImageW", true);
    screen.SetVisible("PanelWA", true);
    screen.SetMaximum("GaugeW", kReadSlotCount);
    screen.SetValue("GaugeW", 0);
    screen.SetPicture("ImageA", "ImageAON");
    screen.ProcessMessages();

    session.order.Restart();
    for (int slot = 1; slot <= kReadSlotCount; ++slot) {
        session.table.SetField(
            slot, sereField(port, screen, session.hCom, SlotCommand(slot), session.alerts, session.order));
        screen.SetValue("GaugeW", slot);
        screen.ProcessMessages();
    }

    UpdateScreen(screen, session.table);
    screen.SetText("LabelST", "подключен");
    screen.SetVisible("PanelWA", false);
    screen.SetVisible("ImageW", false);
    screen.SetPicture("ImageA", "ImageAOFF");
}

void ReadPowerReturn(Session& session, ComPort& port)
{
    // The self-test result last: its answer may be a lone "OK" or "NO",
    // told apart from an acknowledgement below.
    for (const int slot : {kSlotGraceDelay, kSlotReturnCharge, kSlotWakeupDelay, kSlotLowBatteryWarning,
                           kSlotTransferCause, kSlotSelfTestResult}) {
        // The self-test result may be "OK" or "NO", which the alert filter
        // takes for the unit's acknowledgement and keeps as its last message
        // instead of the answer: an answer that left only that is that answer.
        const Bytes message = session.table.Slot(kSlotLastMessage);
        session.table.SetSlot(kSlotLastMessage, Bytes());
        FieldAnswer answer =
            sereField(port, session.screen, session.hCom, SlotCommand(slot), session.alerts, session.order);
        const Bytes token = session.table.Slot(kSlotLastMessage);
        if (answer.line.empty() && slot == kSlotSelfTestResult && (token == "OK" || token == "NO")) {
            session.order.AnsweredAfterAll();  // nothing is owed: the next read keeps its answers
            answer = {token, session.order.Settled()};
        }
        if (token.empty()) session.table.SetSlot(kSlotLastMessage, message);
        session.table.SetField(slot, answer);
    }
}

void ShowIdle(Screen& screen)
{
    screen.SetText("BitBtnGO", "go");
    screen.SetVisible("PageControl1", false);
    screen.SetVisible("PanelPIC", false);
    screen.SetVisible("PanelKA", false);  // its advice and start belong to the ended connection
    screen.SetText("LabelST", "...");
    screen.SetText("LabelUME", "...");
    screen.SetVisible("ImageW", false);
    screen.SetPicture("ImageA", "ImageAOFF");
}

std::string PortGoneText(int port)
{
    return "COM" + std::to_string(port) + " отключен, ждите его возвращения...";
}

void CloseConnection(Session& session, ComPort& port)
{
    const bool gone = session.requests.lineGone.load(std::memory_order_acquire);
    if (!gone) {  // a vanished device hears nothing more
        Bytes answer;
        sereCom(port, session.screen, session.hCom, cmd::kLeaveSmart, answer);  // not examined
        port.clock().Sleep(kCloseDelayMs);
    }
    port.ClosePort(session.hCom);
    session.hCom = nullptr;
    // Nothing asked of this connection may be carried out on the next one.
    session.requests.ClearConnectionRequests();
    ShowIdle(session.screen);
    if (gone) session.screen.SetText("LabelST", PortGoneText(session.table.Record(session.table.apcIndex()).port));
}

}  // namespace tornavel
