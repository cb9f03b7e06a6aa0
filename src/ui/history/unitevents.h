#pragma once
#include <string>

#include "bytes.h"
#include "monitor/pollevents.h"

namespace tornavel {

class EventHistory;

// Why a connection ended.
enum class EndReason { Stopped, WindowClosed, DeviceGone };

// The history texts of what happens to a unit, in the window's Russian. Unit
// answers arrive in Windows-1251 and are kept as UTF-8 text.
std::string ConnectedText(int port, const Bytes& model, const Bytes& serial);
std::string DisconnectedText(int port, EndReason reason);
// A setting written: its command and field, the value before and the one
// read back, and whether the read-back shows the change asked for
// (`requested` is the new text, or "+"/"-" for a step).
std::string ChangeText(const Bytes& command, const std::string& field, const Bytes& before, const Bytes& after,
                       const Bytes& requested);
// A test or calibration command and the unit's answer to it.
std::string TestText(const Bytes& command, const Bytes& answer);

// Records every alert and every test's answer of a session into the
// history, on the thread that talks to the unit.
class HistoryEvents final : public PollEvents {
public:
    explicit HistoryEvents(EventHistory& history) : history_(history) {}
    void Alert(const Bytes& token) override;
    void TestAnswered(const Bytes& command, const Bytes& answer) override;

private:
    EventHistory& history_;
};

}  // namespace tornavel
