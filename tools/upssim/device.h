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

struct DeviceSettings {
    bool steady = false; // live values do not drift
};

std::unique_ptr<Device> MakeDevice(DeviceKind kind, Line& line, std::mt19937& random,
                                   const DeviceSettings& settings, double now);

}  // namespace upssim
