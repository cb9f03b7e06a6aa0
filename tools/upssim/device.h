#pragma once

#include <limits>
#include <memory>
#include <random>
#include <string>

namespace upssim {

// What a device may put on its line. The port paces the bytes like a
// 2400-baud line and keeps them in order.
class Line {
public:
    virtual ~Line() = default;
    // The reply to the byte just received: starts after the answer delay.
    virtual void Answer(std::string bytes) = 0;
    // Output the device sends of its own accord: starts now (after what is queued).
    virtual void Alert(std::string bytes) = 0;
    // Something the device did that a person or a test watches for
    // ("output off"): printed on standard output with the port's name.
    virtual void Report(const std::string& /*text*/) {}
};

// The result of an event addressed to a port or its device.
enum class EventResult { Done, Unknown, BadArgument, NotNow };

// The thing at the far end of one port: a UPS, a modem, a silent or a noisy line.
class Device {
public:
    virtual ~Device() = default;
    // One received byte; bytes come one at a time in arrival order.
    virtual void Receive(unsigned char byte, double now) = 0;
    // Runs the device's timed work; NextWake() tells when it is next due.
    virtual void Tick(double /*now*/) {}
    virtual double NextWake() const { return std::numeric_limits<double>::infinity(); }
    // The program closed the port.
    virtual void LineClosed() {}
    // An event read from standard input ("mains-fail", "set Q 18", ...).
    virtual EventResult Event(const std::string& /*name*/, const std::string& /*argument*/, double /*now*/)
    {
        return EventResult::Unknown;
    }
};

enum class DeviceKind { Ups, Ups2, Modem, Silent, Garbage };

const char* KindName(DeviceKind kind);
bool IsUps(DeviceKind kind);

// How a UPS's battery and output behave, set on the command line so a test
// can run an outage to its end in seconds.
struct BatteryModel {
    double drainPerSecond = 0.1;            // percent of charge per second on battery at the starting load
    double lowRuntimeMinutes = 0;           // battery-low flag while on battery below this runtime (0: by event only)
    double graceSeconds = 20;               // from "S" or "@" to the output going off
    double tenthHourSeconds = 360;          // the unit of "@NNN"'s delay before the output returns
};

struct DeviceSettings {
    bool steady = false; // live values do not drift
    BatteryModel battery;
};

std::unique_ptr<Device> MakeDevice(DeviceKind kind, Line& line, std::mt19937& random,
                                   const DeviceSettings& settings, double now);

}  // namespace upssim
