#pragma once

#include "device.h"
#include "livevalues.h"
#include "timers.h"
#include "upsprofile.h"

#include <cmath>
#include <map>
#include <optional>

namespace upssim {

// An APC Smart-UPS on its serial line. Dumb until "Y" ("SM"); then every
// command is one byte answered by one line. Settings step with "+"/"-",
// text fields take "+" and then their characters, programming mode is "1",
// 1.5 to 4 s, "1" ("PROG"), and "R" ("BYE") ends it all.
class SmartUps : public Device {
public:
    SmartUps(UpsProfile profile, Line& line, std::mt19937& random, const DeviceSettings& settings, double now);

    void Receive(unsigned char byte, double now) override;
    void Tick(double now) override { timers_.Run(now); }
    double NextWake() const override { return timers_.Next(); }
    void LineClosed() override;
    EventResult Event(const std::string& name, const std::string& argument, double now) override;

private:
    // A text field being written: "+" has been accepted, characters follow.
    struct FieldWrite {
        char field;
        std::string bytes;
        double lastByteAt;
    };

    void Command(char c, double now);
    void Step(char direction, double now);
    void WriteFieldByte(char c, double now);
    std::optional<std::string> ValueOf(char c) const;
    std::string StatusText() const;
    Conditions CurrentConditions() const;
    bool OnBattery() const { return mainsFailed_ || simulatedFailure_ || batteryTest_; }

    void SimulateFailure(double now);
    void StartBatteryTest(double now);
    void ToggleCalibration(double now);
    void ScheduleDrift(double now);
    void FollowBattery();
    void FollowOutput(double now);
    void OrderShutdown(double now, double returnDelayMs, const char* how);
    void ShutdownDigit(char c, double now);
    EventResult SetAnswer(const std::string& argument, bool set);

    UpsProfile profile_;
    Line& line_;
    std::mt19937& random_;
    const bool steady_;
    const BatteryModel battery_;
    LiveValues live_;
    Timers timers_;

    // Line state, reset when the program closes the port.
    bool smart_ = false;
    bool programming_ = false;
    char context_ = 0;            // the command that "+" and "-" act on
    double firstOneAt_ = NAN;     // when the first "1" of the programming sequence came
    std::optional<FieldWrite> write_;

    // Unit state.
    bool mainsFailed_ = false;
    bool simulatedFailure_ = false;
    bool batteryTest_ = false;
    bool calibrating_ = false;
    bool overload_ = false;
    bool batteryLow_ = false;
    bool replaceBattery_ = false;
    unsigned failureRun_ = 0;     // tells a timer whether the state it ends is still the one it began
    unsigned testRun_ = 0;
    unsigned calibrationRun_ = 0;
    std::map<char, std::string> overrides_; // answers fixed by the "set" event

    // A shutdown ordered on the line, and the output it turns off.
    struct PendingShutdown {
        double offAt;
        double returnDelayMs;  // after the mains are back
    };
    std::optional<PendingShutdown> shutdown_;
    std::optional<std::string> delayDigits_;  // "@" has come, its three digits follow
    bool outputOff_ = false;
    double mainsBackAt_ = NAN;
};

}  // namespace upssim
