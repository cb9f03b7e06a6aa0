#pragma once
#include <string>

#include "bytes.h"
#include "clock.h"
#include "serial/serialdevice.h"

namespace tornavel {

Parity ParityFromChar(char parity);
StopBits StopBitsFromText(const Bytes& stopBits);

// The serial operations the whole UPS dialogue rests on, with the timing rule
// of the transaction: sample the input count every 100 ms, take the answer at
// the first sample that shows no growth, give up after the given number of
// empty samples. One instance per thread, since each thread waits its own way.
class ComPort {
public:
    static constexpr int kSampleMs = 100;
    static constexpr int kTransactTries = 5;

    ComPort(PortOpener& opener, Clock& clock) : opener_(opener), clock_(clock) {}

    PortHandle OpenPort(int number, std::uint32_t baud, std::uint8_t dataBits, char parity, const Bytes& stopBits);
    // Who holds port `number` that would not open, as far as its lock tells.
    std::optional<LockHolder> PortHolder(int number) { return opener_.Holder(number); }
    void ClosePort(const PortHandle& handle);
    void PurgePort(const PortHandle& handle);
    bool WritePort(const PortHandle& handle, const Bytes& text);
    int InQueue(const PortHandle& handle);
    // The open port's device has gone away (see SerialDevice::Vanished).
    bool Vanished(const PortHandle& handle) { return handle && handle->Vanished(); }
    void ReadPort(const PortHandle& handle, int n, Bytes& text);
    int WaitAnswer(const PortHandle& handle, int tries);
    void ReadUntilQuiet(const PortHandle& handle, int tries, Bytes& text);
    bool Transact(const PortHandle& handle, const Bytes& command, Bytes& answer);

    Clock& clock() { return clock_; }
    const std::string& portName() const { return portName_; }

private:
    // WaitAnswer that also takes what has come once the deadline has passed.
    int WaitAnswerUntil(const PortHandle& handle, int tries, std::int64_t deadlineMs);

    PortOpener& opener_;
    Clock& clock_;
    std::string portName_;
    LineSettings settings_;
};

}  // namespace tornavel
