#include "serial/comport.h"

#include <limits>

namespace tornavel {

namespace {
// One collection of unasked input is capped so that a device that never stops
// talking cannot hold the polling thread forever.
constexpr std::size_t kQuietMaxBytes = 4096;
constexpr int kQuietMaxMs = 2000;
}  // namespace

Parity ParityFromChar(char parity)
{
    switch (parity) {
    case 'E': return Parity::Even;
    case 'M': return Parity::Mark;
    case 'O': return Parity::Odd;
    default: return Parity::None;  // space parity cannot be chosen
    }
}

StopBits StopBitsFromText(const Bytes& stopBits)
{
    if (stopBits == "1.5") return StopBits::OneAndHalf;
    if (stopBits == "2") return StopBits::Two;
    return StopBits::One;
}

PortHandle ComPort::OpenPort(int number, std::uint32_t baud, std::uint8_t dataBits, char parity, const Bytes& stopBits)
{
    portName_ = "COM" + std::to_string(number);
    PortHandle handle(opener_.Open(number));
    if (!handle) return nullptr;
    if (!handle->ReadSettings(settings_)) return handle;  // open, but left as the driver had it
    settings_.baud = baud;
    settings_.dataBits = dataBits;
    settings_.parity = ParityFromChar(parity);
    settings_.stopBits = StopBitsFromText(stopBits);
    handle->ApplySettings(settings_);  // a refusal leaves the line as it was; nothing to report
    return handle;
}

void ComPort::ClosePort(const PortHandle& handle)
{
    if (handle) handle->Close();
}

void ComPort::PurgePort(const PortHandle& handle)
{
    if (handle) handle->Purge();
}

bool ComPort::WritePort(const PortHandle& handle, const Bytes& text)
{
    if (!handle) return false;
    if (text.empty()) return true;
    return handle->Write(text) == static_cast<long>(text.size());
}

int ComPort::InQueue(const PortHandle& handle)
{
    return handle ? handle->Waiting() : 0;
}

void ComPort::ReadPort(const PortHandle& handle, int n, Bytes& text)
{
    text.clear();
    if (!handle || n <= 0) return;
    text = handle->Read(n);
}

int ComPort::WaitAnswer(const PortHandle& handle, int tries)
{
    return WaitAnswerUntil(handle, tries, std::numeric_limits<std::int64_t>::max());
}

int ComPort::WaitAnswerUntil(const PortHandle& handle, int tries, std::int64_t deadlineMs)
{
    if (!handle) return -1;
    int last = 0;
    while (tries > 0) {
        if (last > 0 && clock_.NowMs() >= deadlineMs) return last;
        clock_.Sleep(kSampleMs);
        const int n = InQueue(handle);
        if (n <= 0)
            --tries;  // only empty samples use up tries
        else if (last >= n)
            return last;  // no growth during the last sample: the answer is complete
        else
            last = n;
    }
    return -1;
}

void ComPort::ReadUntilQuiet(const PortHandle& handle, int tries, Bytes& text)
{
    text.clear();
    if (!handle) return;
    const auto deadline = clock_.NowMs() + kQuietMaxMs;
    while (text.size() < kQuietMaxBytes && clock_.NowMs() < deadline) {
        const int k = WaitAnswerUntil(handle, tries, deadline);
        if (k <= 0) return;
        Bytes chunk;
        ReadPort(handle, k, chunk);
        text += chunk;
    }
}

bool ComPort::Transact(const PortHandle& handle, const Bytes& command, Bytes& answer)
{
    if (!handle) return false;
    if (!WritePort(handle, command)) return false;
    const int k = WaitAnswer(handle, kTransactTries);
    if (k <= 0) return false;
    ReadPort(handle, k, answer);
    return true;
}

}  // namespace tornavel
