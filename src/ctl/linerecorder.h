#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "clock.h"
#include "serial/serialdevice.h"

namespace tornavel::ctl {

// What passed through a serial device, with the time of each step: every
// write, every look at the input queue and every read.
struct LineStep {
    enum class Kind { Write, Waiting, Read };
    Kind kind;
    std::int64_t ms;
    int count = 0;  // Waiting: bytes waiting
    Bytes bytes;    // Write, Read
};

struct LineRecord {
    std::vector<LineStep> steps;
    // The line settings as the driver reported them after the program set them.
    std::optional<LineSettings> settingsAfterOpen;
};

// Opens ports through another opener and records what their devices do, so
// the program's own exchanges can be timed without changing them.
class RecordingOpener final : public PortOpener {
public:
    RecordingOpener(PortOpener& inner, Clock& clock, LineRecord& record) : inner_(inner), clock_(clock), record_(record)
    {
    }
    std::unique_ptr<SerialDevice> Open(int number) override;
    std::optional<LockHolder> Holder(int number) override { return inner_.Holder(number); }

private:
    PortOpener& inner_;
    Clock& clock_;
    LineRecord& record_;
};

}  // namespace tornavel::ctl
