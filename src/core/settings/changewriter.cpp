#include "settings/changewriter.h"

#include <array>
#include <cstdlib>

#include "monitor/numbers.h"
#include "protocol/alerts.h"
#include "protocol/commands.h"
#include "protocol/exchange.h"
#include "serial/comport.h"
#include "session.h"

namespace tornavel {

namespace {

constexpr int kStepWaitMs = 200;          // after each command, step or character
constexpr int kProgrammingWaitMs = 2000;  // between the two "1"s
constexpr int kRegisterStepWaitMs = 100;  // after each byte of a register step

bool InSet(const Bytes& command, const auto& set)
{
    for (const Bytes* entry : set)
        if (command == *entry) return true;
    return false;
}

}  // namespace

bool IsProgrammingModeCommand(const Bytes& command)
{
    static const std::array set = {&cmd::kMadeDate, &cmd::kSerial, &cmd::kRegister0};
    return InSet(command, set);
}

bool IsSteppedCommand(const Bytes& command)
{
    static const std::array set = {&cmd::kAlarmDelay,       &cmd::kSelfTestInterval, &cmd::kSensitivity,
                                   &cmd::kOutputSetting,    &cmd::kLowTransfer,      &cmd::kHighTransfer,
                                   &cmd::kGraceDelay,       &cmd::kReturnCharge,     &cmd::kWakeupDelay,
                                   &cmd::kLowBatteryWarning};
    return InSet(command, set);
}

bool ChangeWaiting(const Requests& requests)
{
    // changeDone first: the window clears eepromChange before changeDone, so
    // once changeDone reads clear, a completed request also reads as gone.
    if (requests.changeDone.load(std::memory_order_acquire)) return false;
    return requests.eepromChange.load(std::memory_order_acquire);
}

void ChangeWriter::WriteChange()
{
    // A performed change must run once, even if the loop asks again before
    // the window has completed it.
    if (!ChangeWaiting(session_.requests)) return;
    const Bytes command = session_.requests.changeCmd.Get();
    const Bytes value = session_.requests.changeValue.Get();

    Screen& screen = session_.screen;
    session_.events->ExchangeBusy(true);
    screen.SetValue("GaugeX", 0);
    screen.SetMaximum("GaugeX", static_cast<int>(value.size()));
    if (!IsSteppedCommand(command)) screen.SetVisible("GaugeX", true);

    if (command == cmd::kRegister0 && !KnowRegister0()) {
        // Stepping from a value nobody read could land anywhere. The request
        // ends unwritten with nothing read back: the empty field tells the
        // operator the unit did not answer, and a new request tries again.
        Complete({});
    } else if (Perform(command, value)) {
        Drain();
        Complete(ReadBack(command));
    }
    // On failure the request stays pending and is tried again next cycle.
    session_.events->ExchangeBusy(false);
    screen.SetVisible("GaugeX", false);
}

void ChangeWriter::Complete(const Bytes& answer)
{
    session_.requests.changeAnswer.Set(answer);
    session_.requests.changeDone.store(true, std::memory_order_release);
    session_.events->ChangeDone(answer);
    session_.screen.PostMessage(WindowMessage::ChangeDone);
}

bool ChangeWriter::KnowRegister0()
{
    const Bytes stored = session_.table.Slot(kSlotRegister0);
    if (IsHexByte(stored) && !register0Unconfirmed_) return true;
    // Outside programming mode "0" is an ordinary read; inside it, it only
    // selects the register for the next step and gets no answer.
    const Bytes line = AskLine(port_, session_.hCom, cmd::kRegister0, session_.alerts);
    if (!IsHexByte(line)) return false;
    session_.table.SetSlot(kSlotRegister0, line);  // the steps start from here
    return true;
}

bool ChangeWriter::Perform(const Bytes& command, const Bytes& value)
{
    const bool programming = IsProgrammingModeCommand(command);
    if (programming && !EnterProgrammingMode()) return false;  // nothing written yet
    SendValue(command, value);
    const bool done = !programming || LeaveProgrammingMode();
    if (command == cmd::kRegister0) register0Unconfirmed_ = !done;
    return done;
}

bool ChangeWriter::EnterProgrammingMode()
{
    port_.WritePort(session_.hCom, cmd::kProgrammingMode);
    port_.clock().Sleep(kProgrammingWaitMs);
    return AskLine(port_, session_.hCom, cmd::kProgrammingMode, session_.alerts) == cmd::answer::kProgrammingMode;
}

bool ChangeWriter::LeaveProgrammingMode()
{
    TransactAndWait(cmd::kLeaveSmart);
    return AskLine(port_, session_.hCom, cmd::kSmartMode, session_.alerts) == cmd::answer::kSmartMode;
}

void ChangeWriter::SendValue(const Bytes& command, const Bytes& value)
{
    if (IsSteppedCommand(command))
        StepSetting(command, value);
    else if (command == cmd::kRegister0)
        StepRegister0(value);
    else
        WriteText(command, value);
}

void ChangeWriter::StepSetting(const Bytes& command, const Bytes& value)
{
    TransactAndWait(command);
    TransactAndWait(value.substr(0, 1));
}

void ChangeWriter::WriteText(const Bytes& command, const Bytes& value)
{
    TransactAndWait(command);
    TransactAndWait(cmd::kStepUp);
    // One byte per character, the zero bytes of a short text included.
    for (char c : value) {
        port_.WritePort(session_.hCom, Bytes(1, c));
        port_.clock().Sleep(kStepWaitMs);
        session_.screen.PostMessage(WindowMessage::GaugeStep);
    }
}

void ChangeWriter::StepRegister0(const Bytes& value)
{
    const int current = HexByteValue(session_.table.Slot(kSlotRegister0));
    const int target = HexByteValue(value);
    if (current == target) return;

    const Bytes& direction = target > current ? cmd::kStepUp : cmd::kStepDown;
    const int count = std::abs(target - current);
    session_.screen.SetMaximum("GaugeX", count);
    for (int i = 0; i < count; ++i) {
        port_.WritePort(session_.hCom, cmd::kRegister0);
        port_.clock().Sleep(kRegisterStepWaitMs);
        port_.WritePort(session_.hCom, direction);
        port_.clock().Sleep(kRegisterStepWaitMs);
        port_.PurgePort(session_.hCom);  // the unit's echo of each step is of no use
        session_.screen.PostMessage(WindowMessage::GaugeStep);
    }
}

void ChangeWriter::TransactAndWait(const Bytes& command)
{
    Bytes ignored;  // answers inside a step are not examined
    port_.Transact(session_.hCom, command, ignored);
    port_.clock().Sleep(kStepWaitMs);
}

void ChangeWriter::Drain()
{
    // The UPS's "OK"/"NO" to a written text and any alert reach the message
    // labels here; the rest of what waited is of no use.
    const int waiting = port_.InQueue(session_.hCom);
    if (waiting <= 0) return;
    Bytes bytes;
    port_.ReadPort(session_.hCom, waiting, bytes);
    Bytes line;
    FilterAnswer(bytes, line, session_.alerts);
}

Bytes ChangeWriter::ReadBack(const Bytes& command)
{
    // Raw: the window's completion filters it. Empty when the unit is silent.
    Bytes answer;
    port_.Transact(session_.hCom, command, answer);
    return answer;
}

}  // namespace tornavel
