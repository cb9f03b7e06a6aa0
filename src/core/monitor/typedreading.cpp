#include "monitor/typedreading.h"

#include <array>
#include <cstdio>

#include "monitor/readings.h"
#include "protocol/commands.h"

namespace tornavel {

namespace {

// The measurements and how each answer ends: the estimated runtime ends in
// a colon, the others are plain decimals.
struct Measurement {
    const Bytes* command;
    bool colonEnds;
};

const std::array<Measurement, 12> kMeasurements = {{
    {&cmd::kLoad, false},
    {&cmd::kBatteryCount, false},
    {&cmd::kBatteryVolts, false},
    {&cmd::kNominalVolts, false},
    {&cmd::kTemperature, false},
    {&cmd::kRuntime, true},
    {&cmd::kCharge, false},
    {&cmd::kMinLine, false},
    {&cmd::kMaxLine, false},
    {&cmd::kInputVolts, false},
    {&cmd::kOutputVolts, false},
    {&cmd::kFrequency, false},
}};

}  // namespace

std::optional<TypedReading> ReadTyped(const Bytes& command, const Bytes& answer)
{
    for (const Measurement& m : kMeasurements) {
        if (*m.command != command) continue;
        Bytes number = answer;
        if (m.colonEnds && !number.empty() && number.back() == ':') number.pop_back();
        const auto value = ParseDecimal(number);
        if (!value) return std::nullopt;
        int decimals = 0;
        if (const auto point = number.find('.'); point != Bytes::npos)
            for (auto i = point + 1; i < number.size() && number[i] >= '0' && number[i] <= '9'; ++i) ++decimals;
        return TypedReading{*value, decimals};
    }
    return std::nullopt;
}

std::string_view AnswerMeaning(const Bytes& command, const Bytes& answer)
{
    struct Meaning {
        const Bytes* command;
        const char* answer;
        std::string_view words;
    };
    static const std::array<Meaning, 11> kMeanings = {{
        {&cmd::kSelfTestResult, "OK", "passed"},
        {&cmd::kSelfTestResult, "BT", "failed: not enough battery capacity"},
        {&cmd::kSelfTestResult, "NG", "failed: overload"},
        {&cmd::kSelfTestResult, "NO", "no result"},
        {&cmd::kTransferCause, "R", "rate of change of the mains voltage"},
        {&cmd::kTransferCause, "H", "high mains voltage"},
        {&cmd::kTransferCause, "L", "low mains voltage"},
        {&cmd::kTransferCause, "T", "notch or spike on the mains"},
        {&cmd::kTransferCause, "O", "no transfer yet"},
        {&cmd::kTransferCause, "S", "a self-test or simulated mains failure"},
        {&cmd::kTransferCause, "NA", "not known yet"},
    }};
    for (const Meaning& m : kMeanings)
        if (*m.command == command && answer == m.answer) return m.words;
    return {};
}

std::string TypedText(const TypedReading& reading)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", reading.decimals, reading.value);
    return text;
}

}  // namespace tornavel
