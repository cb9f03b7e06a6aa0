#pragma once
#include <atomic>

#include "shared/sharedtext.h"

namespace tornavel {

// What the window asks of the polling thread. A request writes its texts
// first and its flag last (release); the thread checks the flag first
// (acquire) and takes the texts after it.
struct Requests {
    // Connection.
    std::atomic<bool> stopRequest{false};
    std::atomic<bool> closeRequest{false};
    // Set by the polling thread when it ended because the port's device
    // vanished: nothing more is sent on that line. Cleared at each connection.
    std::atomic<bool> lineGone{false};

    // Terminal page.
    std::atomic<bool> terminalMode{false};
    SharedText terminalCmd;
    SharedText terminalAnswer;

    // One-shot test or calibration command ("A", "W", "U", "D").
    SharedText pendingCmd;
    std::atomic<bool> cmdPending{false};

    // Setting change, written by the window while eepromChange is clear.
    SharedText changeCmd;
    SharedText changeValue;
    SharedText changeAnswer;
    std::atomic<bool> eepromChange{false};
    // Set by the writer once the change has been performed, just before it
    // posts WM_USER+9; the thread never starts the same request again while
    // it is set. The completion clears eepromChange first, then this.
    std::atomic<bool> changeDone{false};

    void PostCommand(const Bytes& command)
    {
        pendingCmd.Set(command);
        cmdPending.store(true, std::memory_order_release);
    }
    void PostChange(const Bytes& command, const Bytes& value)
    {
        changeCmd.Set(command);
        changeValue.Set(value);
        changeDone.store(false, std::memory_order_relaxed);
        eepromChange.store(true, std::memory_order_release);
    }
    // A connection that ends drops what was asked of it, so nothing is ever
    // written to the next unit.
    void ClearConnectionRequests()
    {
        cmdPending.store(false);
        pendingCmd.Set({});
        terminalCmd.Set({});
        eepromChange.store(false);
        changeDone.store(false);
    }
};

}  // namespace tornavel
