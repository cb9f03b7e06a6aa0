#include "monitor/pollingloop.h"

#include <array>
#include <ctime>

#include "monitor/statusdisplay.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "session.h"
#include "text/cp1251.h"

namespace tornavel {

namespace {

struct RotatingField {
    int slot;
    const char* edit;
};

// The slowly changing values, one read per cycle: each once in eight cycles.
constexpr std::array<RotatingField, PollingLoop::kRotationLength> kRotation = {{
    {kSlotBatteryVolts, "EditUbatt"},
    {kSlotTemperature, "EditTgrad"},
    {kSlotRuntime, "EditRUNTIME"},
    {kSlotOutputSetting, "EditUout"},
    {kSlotMinLine, "EditUSmin"},
    {kSlotMaxLine, "EditUSmax"},
    {kSlotFrequency, "EditFREQ"},
    {kSlotLineQuality, "EditQUALITY"},
}};

}  // namespace

PollingLoop::PollingLoop(Session& session, ComPort& port)
    : session_(session), port_(port), writer_(session, port), staleness_(session.screen)
{
}

void PollingLoop::Execute()
{
    staleness_.Start(std::time(nullptr));  // the full read has just filled the page
    do {
        Pass();
        if (port_.Vanished(session_.hCom)) {
            session_.requests.lineGone.store(true, std::memory_order_release);
            break;
        }
    } while (!session_.requests.stopRequest.load(std::memory_order_acquire));
    session_.screen.PostMessage(WindowMessage::ThreadEnded);
}

void PollingLoop::Pass()
{
    session_.screen.SetPicture("ImageA", "ImageAON");
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
    for (const Bytes* test : {&cmd::kTestIndicators, &cmd::kTestBattery, &cmd::kTestMainsFailure,
                              &cmd::kCalibration}) {
        if (command != *test) continue;
        const LineAnswer reply = AskAnswer(port_, session_.hCom, command, session_.alerts);
        if (!reply.answered) session_.order.Unanswered();
        if (session_.onTestAnswer) session_.onTestAnswer(command, reply.line);
    }
    session_.screen.SetVisible("ImageW", false);
}

void PollingLoop::Monitor()
{
    Screen& screen = session_.screen;
    settled_.reset();
    answered_.reset();
    ServeTestRequest();

    const int rot = session_.rotIndex.load();
    ReadByNN(kRotation[rot % kRotationLength].slot);
    session_.rotIndex.store((rot + 1) % kRotationLength);

    const Bytes status = Read(kSlotStatus);
    screen.SetText("EditSTATUS", MakeStatus(screen, status));
    Read(kSlotLoad);
    Read(kSlotCharge);
    const Bytes input = Read(kSlotInputVolts);
    screen.SetText("EditUSin", Cp1251ToUtf8(input));
    const Bytes output = Read(kSlotOutputVolts);
    screen.SetText("EditUSout", Cp1251ToUtf8(output));

    session_.volts.SetVolt(input, output);
    screen.PostMessage(WindowMessage::DrawVolt);
    screen.PostMessage(WindowMessage::SetLoad);
    screen.PostMessage(WindowMessage::SetBatt);
    staleness_.AfterCycle(answered_.any(), std::time(nullptr));

    if (ChangeWaiting(session_.requests)) writer_.WriteChange();
    screen.SetPicture("ImageA", "ImageAOFF");
    port_.clock().Sleep(kPauseMs);
    // Whatever was still owed has had the pause to come; the next pass takes
    // it in before any command.
    session_.order.Restart();
}

Bytes PollingLoop::ReadByNN(int slot)
{
    for (const auto& field : kRotation) {
        if (field.slot == slot) {
            const Bytes answer = Read(slot);
            session_.screen.SetText(field.edit, Cp1251ToUtf8(answer));
            return answer;
        }
    }
    return {};
}

Bytes PollingLoop::Read(int slot)
{
    const FieldAnswer field = AskField(port_, session_.hCom, SlotCommand(slot), session_.alerts, session_.order);
    session_.table.SetField(slot, field);
    settled_[slot] = field.settled;
    answered_[slot] = !field.line.empty();
    return field.settled ? field.line : Bytes();
}

}  // namespace tornavel
