#pragma once
#include <memory>

#include "serial/serialdevice.h"

namespace tornavel {

// Remembers whether the last open found the port, so a program can tell an
// absent or busy port from one where no Smart-UPS answers.
class NotingOpener final : public PortOpener {
public:
    explicit NotingOpener(PortOpener& inner) : inner_(inner) {}
    std::unique_ptr<SerialDevice> Open(int number) override
    {
        auto device = inner_.Open(number);
        lastOpened = device != nullptr;
        return device;
    }
    std::optional<LockHolder> Holder(int number) override { return inner_.Holder(number); }
    bool lastOpened = false;

private:
    PortOpener& inner_;
};

}  // namespace tornavel
