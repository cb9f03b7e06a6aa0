// The warnings shown before a battery calibration, from the last read values.
#include <gtest/gtest.h>

#include "protocol/devicetable.h"
#include "settings/calibration.h"

namespace tornavel {
namespace {

const std::string kRegister = "• значение регистра 0 меньше рекомендуемого";
const std::string kBattery = "• батареи не полностью заряжены";
const std::string kLoad = "• нагрузка меньше рекомендуемого значения";

struct CalibrationCase {
    const char* name;
    Bytes register0;
    Bytes charge;
    Bytes load;
    std::vector<std::string> warnings;
};

struct CalibrationTest : ::testing::TestWithParam<CalibrationCase> {};

TEST_P(CalibrationTest, WarningsInOrder)
{
    DeviceTable table;
    table.Add(1);
    table.SetApcIndex(0);
    table.SetSlot(kSlotRegister0, GetParam().register0);
    table.SetSlot(kSlotCharge, GetParam().charge);
    table.SetSlot(kSlotLoad, GetParam().load);

    EXPECT_EQ(CalibrationWarnings(table), GetParam().warnings);
}

INSTANTIATE_TEST_SUITE_P(
    Values, CalibrationTest,
    ::testing::Values(CalibrationCase{"AllThree", "A0", "099.0", "025.3", {kRegister, kBattery, kLoad}},
                      CalibrationCase{"None", "B0", "100.0", "035.0", {}},
                      CalibrationCase{"RegisterJustBelow", "af", "100.0", "035.0", {kRegister}},
                      CalibrationCase{"RegisterOneDigit", "7", "100.0", "035.0", {kRegister}},
                      CalibrationCase{"RegisterEmpty", "", "100.0", "035.0", {}},
                      CalibrationCase{"RegisterRefused", "NA", "100.0", "035.0", {}},
                      CalibrationCase{"RegisterLongButLarge", "0000000000000000100", "100.0", "035.0", {}},
                      CalibrationCase{"RegisterLongAndSmall", "00000000000000000A0", "100.0", "035.0", {kRegister}},
                      CalibrationCase{"BatteryEmpty", "B0", "", "035.0", {kBattery}},
                      CalibrationCase{"BatteryWrittenOtherwise", "B0", "100", "035.0", {kBattery}},
                      CalibrationCase{"LoadNotDigits", "B0", "100.0", "25.3", {}},
                      CalibrationCase{"LoadShort", "B0", "100.0", "02", {}},
                      CalibrationCase{"LoadEmpty", "B0", "100.0", "", {}},
                      CalibrationCase{"LoadAtLimit", "B0", "100.0", "030.0", {}},
                      CalibrationCase{"LoadJustBelow", "B0", "100.0", "029.9", {kLoad}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tornavel
