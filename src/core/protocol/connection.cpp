#include "protocol/connection.h"

#include <vector>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "protocol/upsline.h"
#include "readings/readingtable.h"
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
    if (sereLine(port, session.screen, *session.events, session.hCom, cmd::kSmartMode, session.alerts) ==
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
    session.events->FullReadStarted();
    session.order.Restart();
    for (int slot = 1; slot <= kReadSlotCount; ++slot) {
        session.table.SetField(slot, sereField(port, session.screen, *session.events, session.hCom, SlotCommand(slot),
                                               session.alerts, session.order));
        session.events->FullReadProgress(slot);
    }
    session.events->Connected(session.table.Record(session.table.apcIndex()));
}

void ReadPowerReturn(Session& session, ComPort& port)
{
    // The readings the table reads after the full read, the self-test result
    // last: its answer may be a lone "OK" or "NO", told apart from an
    // acknowledgement below.
    std::vector<Slot> slots;
    for (const Reading& reading : Readings())
        if (reading.refresh == Refresh::AfterFullRead && reading.slot != kSlotSelfTestResult)
            slots.push_back(reading.slot);
    slots.push_back(kSlotSelfTestResult);
    for (const Slot slot : slots) {
        // The self-test result may be "OK" or "NO", which the alert filter
        // takes for the unit's acknowledgement and keeps as its last message
        // instead of the answer: an answer that left only that is that answer.
        const Bytes message = session.table.Slot(kSlotLastMessage);
        session.table.SetSlot(kSlotLastMessage, Bytes());
        FieldAnswer answer = sereField(port, session.screen, *session.events, session.hCom, SlotCommand(slot),
                                       session.alerts, session.order);
        const Bytes token = session.table.Slot(kSlotLastMessage);
        if (answer.line.empty() && slot == kSlotSelfTestResult && (token == "OK" || token == "NO")) {
            session.order.AnsweredAfterAll();  // nothing is owed: the next read keeps its answers
            answer = {token, session.order.Settled()};
        }
        if (token.empty()) session.table.SetSlot(kSlotLastMessage, message);
        session.table.SetField(slot, answer);
    }
}

void CloseConnection(Session& session, ComPort& port)
{
    const bool gone = session.requests.lineGone.load(std::memory_order_acquire);
    if (!gone) {  // a vanished device hears nothing more
        Bytes answer;
        sereCom(port, session.screen, *session.events, session.hCom, cmd::kLeaveSmart, answer);  // not examined
        port.clock().Sleep(kCloseDelayMs);
    }
    port.ClosePort(session.hCom);
    session.hCom = nullptr;
    // Nothing asked of this connection may be carried out on the next one.
    session.requests.ClearConnectionRequests();
    session.events->ConnectionClosed(session.table.Record(session.table.apcIndex()).port, gone);
}

}  // namespace tornavel
