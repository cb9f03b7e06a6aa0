#pragma once

namespace upssim {

// Faults a UPS port can be given on the command line.
struct Faults {
    double delayMs = 5.0;    // from a command byte to the start of its answer
    unsigned dropEvery = 0;  // every Nth answer is not sent (0: none)
    unsigned pullAfter = 0;  // the cable is pulled when the Nth byte arrives (0: never)
    bool garbageIn = false;  // a few garbage bytes before or inside answers
};

}  // namespace upssim
