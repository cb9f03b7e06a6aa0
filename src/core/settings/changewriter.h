#pragma once
#include <optional>

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
    bool Perform(const Bytes& command, const Bytes& value);
    bool EnterProgrammingMode();
    bool LeaveProgrammingMode();
    bool SendValue(const Bytes& command, const Bytes& value);
    void StepSetting(const Bytes& command, const Bytes& value);
    void WriteText(const Bytes& command, const Bytes& value);
    bool StepRegister0(const Bytes& value);
    std::optional<int> ReadRegister0();
    void TransactAndWait(const Bytes& command);
    void Drain();
    void ReadBack(const Bytes& command);

    Session& session_;
    ComPort& port_;
    // Register-0 steps of an earlier attempt may have reached the unit without
    // the attempt being confirmed; the stored value is then stale.
    bool register0Unconfirmed_ = false;
};

}  // namespace tornavel
