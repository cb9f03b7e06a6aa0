// Typed readings as tornavelctl shows them: the unit's answer as a number
// with the decimals it gave, for measurements only.
#include <gtest/gtest.h>

#include "monitor/typedreading.h"
#include "protocol/commands.h"

namespace tornavel {
namespace {

struct TypedRow {
    const Bytes* command;
    Bytes answer;
    const char* shown;  // nullptr: no typed form
};

TEST(TypedReading, MeasurementsAreNumbersWithTheirDecimals)
{
    const TypedRow rows[] = {
        {&cmd::kRuntime, "0041:", "41"},
        {&cmd::kRuntime, "0041", "41"},
        {&cmd::kLoad, "024.0", "24.0"},
        {&cmd::kTemperature, "031.5", "31.5"},
        {&cmd::kBatteryCount, "000", "0"},
        {&cmd::kFrequency, "50.00", "50.00"},
        {&cmd::kInputVolts, " 229.3 ", "229.3"},
        {&cmd::kLoad, "NA", nullptr},
        {&cmd::kLoad, "", nullptr},
        {&cmd::kLoad, "02x.0", nullptr},
        {&cmd::kRuntime, "00:41", nullptr},
        {&cmd::kLowTransfer, "196", nullptr},  // a setting: shown as the unit says it
        {&cmd::kBatteryDate, "14/06/11", nullptr},
    };
    for (const TypedRow& row : rows) {
        const auto typed = ReadTyped(*row.command, row.answer);
        SCOPED_TRACE(*row.command + " " + row.answer);
        ASSERT_EQ(typed.has_value(), row.shown != nullptr);
        if (typed) {
            EXPECT_EQ(TypedText(*typed), row.shown);
        }
    }
}

}  // namespace
}  // namespace tornavel
