#pragma once

#include "device.h"

namespace upssim {

// A Hayes modem in command mode: echoes every byte but LF; a line that holds
// an AT command (the junk before "at" is skipped, as a modem does) is
// answered CR LF "OK" CR LF once its CR arrives. So "Y" comes back as "Y",
// and "atz\r\n" as "atz\r\r\nOK\r\n".
class Modem : public Device {
public:
    explicit Modem(Line& line) : line_(line) {}

    void Receive(unsigned char byte, double now) override;
    void LineClosed() override { command_.clear(); }

private:
    Line& line_;
    std::string command_;
};

}  // namespace upssim
