#pragma once
#include "bytes.h"

namespace tornavel {

class ComPort;
struct Requests;
struct Session;

// Commands whose change runs inside the UPS's programming mode.
bool IsProgrammingModeCommand(const Bytes& command);
// Settings changed by one "+" or "-" step (exact whole-text match).
bool IsSteppedCommand(const Bytes& command);

// A change is waiting for the writer: asked for and not yet performed. Once
// performed it waits for the window's completion and is never run twice.
bool ChangeWaiting(const Requests& requests);

// Performs the pending setting change on the connected unit's line, on the
// polling thread: programming mode, the value, the read-back, WM_USER+9.
class ChangeWriter {
public:
    ChangeWriter(Session& session, ComPort& port) : session_(session), port_(port) {}
    void WriteChange();

private:
    // Hands the read-back to the window (WM_USER+9); the request is done.
    void Complete(const Bytes& answer);
    // Makes sure the stored register-0 answer is what the unit holds now,
    // reading it before programming mode if in doubt; false if it would not say.
    bool KnowRegister0();
    bool Perform(const Bytes& command, const Bytes& value);
    bool EnterProgrammingMode();
    bool LeaveProgrammingMode();
    void SendValue(const Bytes& command, const Bytes& value);
    void StepSetting(const Bytes& command, const Bytes& value);
    void WriteText(const Bytes& command, const Bytes& value);
    void StepRegister0(const Bytes& value);
    void TransactAndWait(const Bytes& command);
    void Drain();
    Bytes ReadBack(const Bytes& command);

    Session& session_;
    ComPort& port_;
    // Register-0 steps of an earlier attempt of this request may have reached
    // the unit without the attempt being confirmed; the stored value is then
    // stale.
    bool register0Unconfirmed_ = false;
};

}  // namespace tornavel
