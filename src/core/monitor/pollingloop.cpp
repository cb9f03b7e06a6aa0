#include "monitor/pollingloop.h"

#include <algorithm>
#include <array>

#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "session.h"

namespace tornavel {

namespace {

// The slowly changing values, one read per cycle: each once in eight cycles.
constexpr std::array<int, PollingLoop::kRotationLength> kRotation = {
    kSlotBatteryVolts, kSlotTemperature, kSlotRuntime,   kSlotOutputSetting,
    kSlotMinLine,      kSlotMaxLine,     kSlotFrequency, kSlotLineQuality,
};

}  // namespace

PollingLoop::PollingLoop(Session& session, ComPort& port) : session_(session), port_(port), writer_(session, port) {}

void PollingLoop::Execute()
{
    session_.events->PollingStarted();  // the full read's values are current
    do {
        Pass();
        if (port_.Vanished(session_.hCom)) {
            session_.requests.lineGone.store(true, std::memory_order_release);
            break;
        }
    } while (!session_.requests.stopRequest.load(std::memory_order_acquire));
    if (session_.requests.lineGone.load(std::memory_order_acquire)) session_.events->LineGone();
    session_.screen.PostMessage(WindowMessage::ThreadEnded);
}

void PollingLoop::Pass()
{
    session_.events->PassStarted();
    CollectUnaskedInput();
    if (session_.requests.terminalMode.load(std::memory_order_acquire))
        ServeTerminal();  // no pause: a typed key goes out within one sample
    else
        Monitor();
}

void PollingLoop::CollectUnaskedInput()
{
    if (port_.WaitAnswer(session_.hCom, 1) <= 0) return;
    Bytes input;
    Bytes line;
    port_.ReadUntilQuiet(session_.hCom, 1, input);
    FilterAnswer(input, line, session_.alerts);  // only the alerts count
}

void PollingLoop::ServeTerminal()
{
    // Taken before sending, so a key typed during the exchange is served next.
    const Bytes command = session_.requests.terminalCmd.Take();
    if (command.empty()) return;
    const LineAnswer reply = AskAnswer(port_, session_.hCom, command, session_.alerts);
    // Typed commands are owed answers too, until a cycle's pause.
    if (!reply.answered) session_.order.Unanswered();
    session_.requests.terminalAnswer.Set(reply.line);
    session_.screen.PostMessage(WindowMessage::TerminalAnswer);
}

void PollingLoop::ServeTestRequest()
{
    if (!session_.requests.cmdPending.exchange(false, std::memory_order_acq_rel)) return;
    const Bytes command = session_.requests.pendingCmd.Take();
    // A click that landed between the two steps above was served just now;
    // its flag, left standing, finds no text and must not hide the busy
    // picture of whatever the window asked meanwhile.
    if (command.empty()) return;
    for (const Bytes* test : {&cmd::kTestIndicators, &cmd::kTestBattery, &cmd::kTestMainsFailure, &cmd::kCalibration}) {
        if (command != *test) continue;
        session_.alerts.TakeAcknowledgement();  // only this exchange's counts
        const LineAnswer reply = AskAnswer(port_, session_.hCom, command, session_.alerts);
        if (!reply.answered) session_.order.Unanswered();
        session_.events->TestAnswered(command, reply.line.empty() ? session_.alerts.TakeAcknowledgement() : reply.line);
    }
    session_.events->TestRequestServed();
}

void PollingLoop::Monitor()
{
    settled_.reset();
    answered_.reset();
    ServeTestRequest();

    const int rot = session_.rotIndex.load();
    ReadByNN(kRotation[rot % kRotationLength]);
    session_.rotIndex.store((rot + 1) % kRotationLength);

    Read(kSlotStatus);
    Read(kSlotLoad);
    Read(kSlotCharge);
    const Bytes input = Read(kSlotInputVolts);
    const Bytes output = Read(kSlotOutputVolts);

    session_.volts.SetVolt(input, output);
    session_.events->CycleRead(CycleReport{answered_, settled_});
    if (answered_.none()) session_.events->UnitSilent();

    if (ChangeWaiting(session_.requests)) writer_.WriteChange();
    session_.events->Pausing();
    port_.clock().Sleep(kPauseMs);
    // Whatever was still owed has had the pause to come; the next pass takes
    // it in before any command.
    session_.order.Restart();
}

Bytes PollingLoop::ReadByNN(int slot)
{
    if (std::find(kRotation.begin(), kRotation.end(), slot) == kRotation.end()) return {};
    return Read(slot);
}

Bytes PollingLoop::Read(int slot)
{
    const FieldAnswer field = AskField(port_, session_.hCom, SlotCommand(slot), session_.alerts, session_.order);
    session_.table.SetField(slot, field);
    settled_[slot] = field.settled;
    answered_[slot] = !field.line.empty();
    const Bytes answer = field.settled ? field.line : Bytes();
    session_.events->ValueRead(slot, answer);
    return answer;
}

}  // namespace tornavel
