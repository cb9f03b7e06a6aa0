#pragma once
// Shared pieces of the settings tests: a unit that understands the change
// writer's sequences, a readable form of the line log, and a session
// connected to that unit.
#include <climits>
#include <cstdio>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "fakes.h"
#include "serial/comport.h"
#include "session.h"

namespace tornavel::testing {

// Answers plain commands from a table; the second "1" in a row is answered
// "PROG"; "+" after a text command starts the entry of that many characters,
// acknowledged "OK"; register 0 steps on "0" followed by "+" or "-" in
// programming mode, where "0" only selects the register and is not answered.
// "R" ends programming mode.
class ChangeUps {
public:
    std::map<Bytes, Bytes> answers;  // answer lines, CR LF added
    int register0 = 0xA0;
    bool answersProg = true;
    bool answersSm = true;
    bool answersRegister = true;  // false: "0" gets the table's answer, if any
    bool leavesOnR = true;        // false: "R" is lost, as with a pulled cable
    int stepsAccepted = INT_MAX;  // register steps taken before the unit stops listening
    bool programming = false;

    FakeDevice::Responder Responder()
    {
        return [this](const Bytes& written) { return Answer(written); };
    }

private:
    using Replies = std::vector<FakeDevice::Reply>;
    static Replies Line(const Bytes& text) { return {{40, text + "\r\n"}}; }

    Replies Answer(const Bytes& written)
    {
        const Bytes previous = std::exchange(previous_, written);
        if (textLeft_ > 0) return --textLeft_ == 0 ? Line("OK") : Replies{};
        ones_ = written == "1" ? ones_ + 1 : 0;
        if (written == "1") {
            if (ones_ % 2 != 0 || !answersProg) return {};
            programming = true;
            return Line("PROG");
        }
        if (written == "+" && kTextLengths.count(previous)) {
            textLeft_ = kTextLengths.at(previous);
            return {};
        }
        if ((written == "+" || written == "-") && previous == "0" && programming) {
            if (stepsAccepted > 0) {
                --stepsAccepted;
                register0 += written == "+" ? 1 : -1;
            }
            return {};
        }
        if (written == "0" && programming) return {};
        if (written == "0" && answersRegister) return Line(Hex(register0));
        if (written == "Y") return answersSm ? Line("SM") : Replies{};
        if (written == "R") {
            if (!leavesOnR) return {};
            programming = false;
            return Line("BYE");
        }
        auto it = answers.find(written);
        return it == answers.end() ? Replies{} : Line(it->second);
    }
    static Bytes Hex(int value)
    {
        char buffer[8];
        std::snprintf(buffer, sizeof buffer, "%02X", value);
        return buffer;
    }

    inline static const std::map<Bytes, int> kTextLengths = {{"c", 8}, {"n", 14}, {"m", 8}, {"x", 8}};
    Bytes previous_;
    int ones_ = 0;
    int textLeft_ = 0;
};

// "2200 write +", "2400 purge"; bytes outside printable ASCII as <0D>.
inline std::vector<std::string> LineLog(const std::vector<LineEvent>& events)
{
    std::vector<std::string> log;
    for (const auto& e : events) {
        std::string entry = std::to_string(e.at) + " " + e.what;
        if (!e.bytes.empty()) entry += " ";
        for (unsigned char c : e.bytes) {
            char buffer[8];
            std::snprintf(buffer, sizeof buffer, c >= 32 && c < 127 ? "%c" : "<%02X>", c);
            entry += buffer;
        }
        log.push_back(entry);
    }
    return log;
}

// A screen that lets a test look at shared state at the moment of each call.
class WatchingScreen : public RecordingScreen {
public:
    std::function<void(const std::string& call)> watch;

    void SetText(std::string_view control, const std::string& text) override
    {
        Watch("text " + std::string(control));
        RecordingScreen::SetText(control, text);
    }
    void SetVisible(std::string_view control, bool visible) override
    {
        Watch(std::string(visible ? "show " : "hide ") + std::string(control));
        RecordingScreen::SetVisible(control, visible);
    }
    void PostMessage(WindowMessage message) override
    {
        Watch("post " + std::to_string(static_cast<int>(message)));
        RecordingScreen::PostMessage(message);
    }

private:
    void Watch(const std::string& call)
    {
        if (watch) watch(call);
    }
};

// A session connected to one unit on a fake line, with a virtual clock.
struct SettingsSession {
    SettingsSession()
    {
        session.table.Add(1);
        session.table.SetApcIndex(0);
        session.hCom = device;
        session.events = &events;
        device->SetResponder(ups.Responder());
    }

    // The last alert or acknowledgement reported, or empty.
    Bytes LastAlert() const
    {
        const auto lines = events.Lines();
        for (auto it = lines.rbegin(); it != lines.rend(); ++it)
            if (it->rfind("alert ", 0) == 0) return it->substr(6);
        return {};
    }

    FakeClock clock;
    FakeOpener opener;  // the session's port is already open
    ComPort port{opener, clock};
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>(clock);
    ChangeUps ups;
    WatchingScreen screen;
    RecordingEvents events;
    Session session{screen};
};

}  // namespace tornavel::testing
