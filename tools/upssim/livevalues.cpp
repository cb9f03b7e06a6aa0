#include "livevalues.h"

#include <algorithm>
#include <cstdio>

namespace upssim {

namespace {

// Percent of charge a battery gives per second at the starting load: fast
// enough to see on the gauge while a failure is simulated.
constexpr double kChargePerSecond = 0.05;
constexpr double kExtremesFading = 0.005;

std::string Format(const char* pattern, double value)
{
    char text[32];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

// A step that wanders randomly and is pulled back toward its target.
double Wander(double value, double target, double pull, double spread, std::mt19937& random)
{
    std::normal_distribution<double> noise(0.0, spread);
    return value + pull * (target - value) + noise(random);
}

}  // namespace

LiveValues::LiveValues(const LiveStart& start) : base_(start), now_(start) {}

void LiveValues::Drift(std::mt19937& random, const Conditions& conditions, double drainPerSecond)
{
    const double loadTarget = conditions.overload ? 112.0 : base_.load;
    now_.load = std::clamp(Wander(now_.load, loadTarget, 0.2, 0.4, random), 0.0, 150.0);
    now_.temperature = Wander(now_.temperature, base_.temperature, 0.05, 0.05, random);

    // The mains Wander on whether or not the UPS is using them.
    now_.input = std::clamp(Wander(now_.input, base_.input, 0.1, 0.35, random), base_.input - 8, base_.input + 8);
    now_.frequency = std::clamp(Wander(now_.frequency, base_.frequency, 0.2, 0.01, random), 49.8, 50.2);
    // The extremes of the line as the UPS sees it jump to a new low or high
    // at once and forget it slowly.
    const double line = conditions.onBattery ? 0.0 : now_.input;
    now_.minLine = std::min(line, now_.minLine + kExtremesFading * (line - now_.minLine));
    now_.maxLine = std::max(line, now_.maxLine + kExtremesFading * (line - now_.maxLine));

    const bool discharging = conditions.onBattery || conditions.calibrating;
    if (discharging)
        now_.charge -= drainPerSecond * std::max(now_.load, 1.0) / base_.load;
    else
        now_.charge += kChargePerSecond;
    now_.charge = std::clamp(now_.charge, 0.0, 100.0);

    // Floating on the charger the battery sits above its resting voltage.
    const double voltsTarget = discharging ? 22.8 + 3.4 * now_.charge / 100.0
                                           : base_.batteryVolts - (100.0 - now_.charge) * 0.02;
    now_.batteryVolts = Wander(now_.batteryVolts, voltsTarget, 0.3, 0.01, random);
}

double LiveValues::RuntimeMinutes() const
{
    return base_.fullRuntime * now_.charge / 100.0 * base_.load / std::max(now_.load, 1.0);
}

std::optional<std::string> LiveValues::Answer(char command, const Conditions& conditions) const
{
    switch (command) {
    case 'L': return Format("%05.1f", conditions.onBattery ? 0.0 : now_.input);
    case 'O': return Format("%05.1f", conditions.onBattery ? conditions.outputSetting : now_.input - base_.outputDrop);
    case 'P': return Format("%05.1f", now_.load);
    case 'f': return Format("%05.1f", now_.charge);
    case 'B': return Format("%05.2f", now_.batteryVolts);
    case 'C': return Format("%05.1f", now_.temperature);
    case 'F': return Format("%05.2f", conditions.onBattery ? 50.0 : now_.frequency);
    case 'j': {
        char text[16];
        std::snprintf(text, sizeof text, "%04d:", static_cast<int>(std::clamp(RuntimeMinutes(), 0.0, 9999.0)));
        return text;
    }
    case 'N': return Format("%05.1f", now_.minLine);
    case 'M': return Format("%05.1f", now_.maxLine);
    default: return std::nullopt;
    }
}

}  // namespace upssim
