#pragma once

#include "upsprofile.h"

#include <optional>
#include <random>
#include <string>

namespace upssim {

// What the UPS is doing, as far as the measured values care.
struct Conditions {
    bool onBattery = false;
    bool overload = false;
    bool calibrating = false; // runs the load from the battery while on line
    double outputSetting = 230.0;
};

// The measured values ("L", "O", "P", "f", "B", "C", "j", "N", "M", "F"):
// they Wander a little around where the profile starts them, each second,
// and follow the conditions (on battery the input reads 0 and charge falls).
class LiveValues {
public:
    explicit LiveValues(const LiveStart& start);

    // One second of change.
    void Drift(std::mt19937& random, const Conditions& conditions, double drainPerSecond);
    // Minutes the battery lasts at the present charge and load.
    double RuntimeMinutes() const;
    // The answer text to a measuring command; nullopt for any other command.
    std::optional<std::string> Answer(char command, const Conditions& conditions) const;

private:
    LiveStart base_;
    LiveStart now_;
};

}  // namespace upssim
