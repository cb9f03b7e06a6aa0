#pragma once
#include <cstdint>
#include <memory>

#include "bytes.h"
#include "serial/uucplock.h"

namespace tornavel {

enum class Parity { None, Odd, Even, Mark };
enum class StopBits { One, OneAndHalf, Two };

// The line settings the program chooses. Everything else (XON/XOFF characters,
// queue sizes, time-outs) stays as the driver had it; applying these always
// makes a raw line without flow control and with DTR/RTS held off.
struct LineSettings {
    std::uint32_t baud = 2400;
    std::uint8_t dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::One;
};

// One open serial device. Every operation is non-blocking and returns its
// neutral result (false, 0, -1, empty) once the device is closed or gone.
class SerialDevice {
public:
    virtual ~SerialDevice() = default;
    virtual bool ReadSettings(LineSettings& settings) = 0;
    virtual bool ApplySettings(const LineSettings& settings) = 0;
    // Count of bytes written, or -1 on error.
    virtual long Write(const Bytes& bytes) = 0;
    // Bytes waiting in the input queue; line errors are cleared and ignored.
    virtual int Waiting() = 0;
    // Up to n bytes of what is already waiting; never waits for more.
    virtual Bytes Read(int n) = 0;
    // Drop both queues.
    virtual void Purge() = 0;
    virtual void Close() = 0;
    // True once the device itself has gone (a pulled USB adapter, a removed
    // node), as opposed to a unit that only stays silent on a present port.
    virtual bool Vanished() { return false; }
};

// The port numbers the program knows: COM1 to COM16.
inline constexpr int kFirstPort = 1;
inline constexpr int kLastPort = 16;

// Opens port number n (1 to 16) exclusively; null for an absent, busy or
// forbidden port.
class PortOpener {
public:
    virtual ~PortOpener() = default;
    virtual std::unique_ptr<SerialDevice> Open(int number) = 0;
    // For a port that would not open: the live program whose lock holds it,
    // if its lock file names one.
    virtual std::optional<LockHolder> Holder(int /*number*/) { return std::nullopt; }
};

// The open port as the program holds it; null is the invalid handle.
using PortHandle = std::shared_ptr<SerialDevice>;

}  // namespace tornavel
