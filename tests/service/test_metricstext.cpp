// The metrics text: base units, series left out for unreadable answers and
// silent units, label escaping, counters, and the exposition layout.
#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>

#include "core/unit_fixture.h"
#include "publish/metricstext.h"

namespace tornavel::service {
namespace {

// A unit that answered everything as the prompt test unit does.
UnitSnapshot AnsweringUnit(const std::string& port = "COM1")
{
    UnitSnapshot unit;
    unit.port = port;
    unit.up = true;
    unit.identified = true;
    unit.lastGoodSeconds = 1700000000.5;
    const auto answers = tornavel::testing::UnitAnswers();
    for (int slot = 1; slot <= kReadSlotCount; ++slot) {
        Bytes answer = answers.at(SlotCommand(slot));
        unit.slots[slot] = answer.substr(0, answer.find('\r'));
    }
    return unit;
}

bool HasLine(const std::string& text, const std::string& line)
{
    std::istringstream lines(text);
    for (std::string l; std::getline(lines, l);)
        if (l == line) return true;
    return false;
}

bool Mentions(const std::string& text, const std::string& name)
{
    return text.find("tornavel_ups_" + name + "{") != std::string::npos ||
           text.find("tornavel_ups_" + name + " ") != std::string::npos;
}

// How power comes back and the two readings beside it, once answered.
TEST(Metrics, PowerReturnSettingsAndTheLastTestAndTransfer)
{
    UnitSnapshot unit = AnsweringUnit();
    unit.slots[kSlotGraceDelay] = "180";
    unit.slots[kSlotReturnCharge] = "15";
    unit.slots[kSlotWakeupDelay] = "060";
    unit.slots[kSlotLowBatteryWarning] = "05";
    unit.slots[kSlotSelfTestResult] = "BT";
    unit.slots[kSlotTransferCause] = "L";
    const std::string text = RenderMetrics({unit});
    for (const char* line :
         {R"(tornavel_ups_settings_info{port="COM1",alarm_delay="0",sensitivity="H",self_test_interval="336",grace_delay="180",return_charge="15",wakeup_delay="060",low_battery_warning="05"} 1)",
          R"(tornavel_ups_shutdown_grace_delay_seconds{port="COM1"} 180)",
          R"(tornavel_ups_wakeup_delay_seconds{port="COM1"} 60)",
          R"(tornavel_ups_low_battery_warning_seconds{port="COM1"} 300)",
          R"(tornavel_ups_last_self_test_info{port="COM1",result="BT"} 1)",
          R"(tornavel_ups_last_transfer_cause_info{port="COM1",cause="L"} 1)"})
        EXPECT_TRUE(HasLine(text, line)) << line << "\n" << text;
}

class ReadingInBaseUnits : public ::testing::TestWithParam<const char*> {};

TEST_P(ReadingInBaseUnits, IsGivenFromTheUnitsAnswer)
{
    const std::string text = RenderMetrics({AnsweringUnit()});
    EXPECT_TRUE(HasLine(text, GetParam())) << text;
}

INSTANTIATE_TEST_SUITE_P(
    Metrics, ReadingInBaseUnits,
    ::testing::Values(
        R"(tornavel_ups_up{port="COM1"} 1)",
        R"(tornavel_ups_last_good_reading_timestamp_seconds{port="COM1"} 1700000000.5)",
        R"(tornavel_ups_info{port="COM1",model="Smart-UPS 1000",serial="QS0512345678",name="UPS_IDEN",manufactured="12/03/05",battery_replaced="14/06/11"} 1)",
        R"(tornavel_ups_settings_info{port="COM1",alarm_delay="0",sensitivity="H",self_test_interval="336"} 1)",
        R"(tornavel_ups_status_byte{port="COM1"} 8)", R"(tornavel_ups_status{port="COM1",flag="on_line"} 1)",
        R"(tornavel_ups_status{port="COM1",flag="on_battery"} 0)",
        R"(tornavel_ups_status{port="COM1",flag="replace_battery"} 0)", R"(tornavel_ups_load_ratio{port="COM1"} 0.234)",
        R"(tornavel_ups_battery_charge_ratio{port="COM1"} 1)", R"(tornavel_ups_input_volts{port="COM1"} 229.3)",
        R"(tornavel_ups_output_volts{port="COM1"} 228.1)", R"(tornavel_ups_input_frequency_hertz{port="COM1"} 50)",
        R"(tornavel_ups_input_min_volts{port="COM1"} 227.5)", R"(tornavel_ups_input_max_volts{port="COM1"} 231.4)",
        R"(tornavel_ups_battery_volts{port="COM1"} 27.45)", R"(tornavel_ups_battery_nominal_volts{port="COM1"} 24)",
        R"(tornavel_ups_temperature_celsius{port="COM1"} 31.5)", R"(tornavel_ups_runtime_seconds{port="COM1"} 2520)",
        R"(tornavel_ups_output_nominal_volts{port="COM1"} 230)", R"(tornavel_ups_transfer_low_volts{port="COM1"} 196)",
        R"(tornavel_ups_transfer_high_volts{port="COM1"} 253)",
        R"(tornavel_ups_self_test_interval_seconds{port="COM1"} 1209600)",
        R"(tornavel_ups_external_batteries{port="COM1"} 0)", R"(tornavel_ups_line_quality{port="COM1"} 255)",
        R"(tornavel_ups_register{port="COM1",register="0"} 160)",
        R"(tornavel_ups_register{port="COM1",register="1"} 1)", R"(tornavel_ups_register{port="COM1",register="2"} 4)",
        R"(tornavel_ups_register{port="COM1",register="3"} 16)",
        R"(tornavel_ups_alerts_total{port="COM1",alert="mains_failure"} 0)",
        R"(tornavel_ups_link_losses_total{port="COM1"} 0)",
        R"(tornavel_ups_battery_replaced_timestamp_seconds{port="COM1"} 1308009600)",
        R"(tornavel_ups_manufactured_timestamp_seconds{port="COM1"} 1110585600)",
        R"(tornavel_ups_on_battery_seconds{port="COM1"} 0)"));

struct Unreadable {
    int slot;
    const char* answer;
    const char* metric;
};

class UnreadableAnswer : public ::testing::TestWithParam<Unreadable> {};

// A missing or garbled answer leaves its series (and, with one unit, its
// whole family) out: a reading of 0 would be a lie.
TEST_P(UnreadableAnswer, LeavesTheSeriesOut)
{
    UnitSnapshot unit = AnsweringUnit();
    unit.slots[GetParam().slot] = GetParam().answer;
    const std::string text = RenderMetrics({unit});
    EXPECT_FALSE(Mentions(text, GetParam().metric)) << text;
    EXPECT_EQ(text.find(std::string("# TYPE tornavel_ups_") + GetParam().metric + " "), std::string::npos);
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_up{port="COM1"} 1)"));
}

INSTANTIATE_TEST_SUITE_P(
    Metrics, UnreadableAnswer,
    ::testing::Values(Unreadable{kSlotInputVolts, "", "input_volts"}, Unreadable{kSlotInputVolts, "NA", "input_volts"},
                      Unreadable{kSlotInputVolts, "22x.3", "input_volts"},
                      Unreadable{kSlotInputVolts, "229.", "input_volts"},
                      Unreadable{kSlotInputVolts, "1.2.3", "input_volts"},
                      Unreadable{kSlotInputVolts, "-5", "input_volts"},
                      Unreadable{kSlotInputVolts, "99999999999999999999", "input_volts"},
                      Unreadable{kSlotLoad, "  ", "load_ratio"}, Unreadable{kSlotRuntime, "42m", "runtime_seconds"},
                      Unreadable{kSlotSelfTestInterval, "OFF", "self_test_interval_seconds"},
                      Unreadable{kSlotStatus, "108", "status"}, Unreadable{kSlotStatus, "zz", "status_byte"},
                      Unreadable{kSlotStatus, "", "status"}, Unreadable{kSlotLineQuality, "G0", "line_quality"},
                      Unreadable{kSlotBatteryDate, "00/00/00", "battery_replaced_timestamp_seconds"},
                      Unreadable{kSlotMadeDate, "31/04/05", "manufactured_timestamp_seconds"}));

// Time on battery and the last transfer, from what the monitor saw: a
// status byte ("08" on line, "10" on battery, "zz" garbled), the "!" alert,
// or a lost link ("lost"), each at a time in seconds.
struct OutageCase {
    std::vector<std::pair<const char*, double>> seen;
    const char* onBattery;     // the sample's value, or nullptr for none
    const char* lastTransfer;  // likewise
};

class OutageTimes : public ::testing::TestWithParam<OutageCase> {};

TEST_P(OutageTimes, FollowWhatWasSeen)
{
    UnitSnapshot unit = AnsweringUnit();
    for (const auto& [what, at] : GetParam().seen) {
        const std::string event = what;
        if (event == "!") {
            unit.outage.MainsFailure(at);
        } else if (event == "lost") {
            unit.outage.Unseen();
        } else {
            unit.slots[kSlotStatus] = event;
            unit.lastGoodSeconds = at;
            unit.outage.Status(ParseStatus(event), at);
        }
    }
    const std::string text = RenderMetrics({unit});
    const auto expect = [&](const char* name, const char* value) {
        if (value)
            EXPECT_TRUE(HasLine(text, std::string("tornavel_ups_") + name + R"({port="COM1"} )" + value)) << text;
        else
            EXPECT_FALSE(Mentions(text, name)) << text;
    };
    expect("on_battery_seconds", GetParam().onBattery);
    expect("last_transfer_to_battery_timestamp_seconds", GetParam().lastTransfer);
}

INSTANTIATE_TEST_SUITE_P(
    Metrics, OutageTimes,
    ::testing::Values(OutageCase{{{"08", 100}, {"10", 110}, {"10", 150}}, "40", "110"},
                      OutageCase{{{"08", 100}, {"!", 105}, {"10", 110}, {"10", 130}}, "25", "105"},
                      OutageCase{{{"08", 100}, {"10", 110}, {"08", 120}}, "0", "110"},
                      OutageCase{{{"08", 100}, {"zz", 105}, {"10", 110}, {"10", 140}}, "30", "110"},
                      OutageCase{{{"08", 100}, {"10", 110}, {"08", 120}, {"10", 130}, {"10", 150}}, "20", "130"},
                      // a start the monitor did not see is not made up
                      OutageCase{{{"10", 100}, {"10", 150}}, nullptr, nullptr},
                      OutageCase{{{"08", 100}, {"10", 110}, {"lost", 120}, {"10", 130}, {"10", 140}}, nullptr, "110"},
                      OutageCase{{{"08", 100}, {"lost", 110}, {"10", 120}, {"10", 130}}, nullptr, nullptr}));

TEST(Metrics, NamedUnitCarriesItsNameOnEverySeries)
{
    UnitSnapshot named = AnsweringUnit("COM4");
    named.unit = "rack2";
    const std::string text = RenderMetrics({AnsweringUnit(), named});
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_up{port="COM1"} 1)"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_up{port="COM4",unit="rack2"} 1)"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_status{port="COM4",unit="rack2",flag="on_line"} 1)"));
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find(R"(port="COM4")") != std::string::npos) {
            EXPECT_NE(line.find(R"(port="COM4",unit="rack2")"), std::string::npos) << line;
        }
    }
}

TEST(Metrics, StatusFlagsFollowTheBits)
{
    UnitSnapshot unit = AnsweringUnit();
    unit.slots[kSlotStatus] = "d1";  // calibration, on battery, battery low, replace battery
    const std::string text = RenderMetrics({unit});
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_status_byte{port="COM1"} 209)"));
    for (const char* set : {"calibration", "on_battery", "battery_low", "replace_battery"})
        EXPECT_TRUE(HasLine(text, std::string(R"(tornavel_ups_status{port="COM1",flag=")") + set + "\"} 1")) << set;
    for (const char* clear : {"smart_trim", "smart_boost", "on_line", "overload"})
        EXPECT_TRUE(HasLine(text, std::string(R"(tornavel_ups_status{port="COM1",flag=")") + clear + "\"} 0")) << clear;
}

// While a unit does not answer, nothing it read before is reported as
// current; its health, last good time, identity and counters stay.
TEST(Metrics, SilentUnitShowsHealthAndCountersOnly)
{
    const auto withPowerReturn = [](UnitSnapshot unit) {
        unit.slots[kSlotGraceDelay] = "180";
        unit.slots[kSlotSelfTestResult] = "OK";
        unit.slots[kSlotTransferCause] = "L";
        return unit;
    };
    UnitSnapshot silent = withPowerReturn(AnsweringUnit("COM2"));
    silent.up = false;
    silent.linkLosses = 2;
    silent.alerts[0] = 3;
    const std::string text = RenderMetrics({withPowerReturn(AnsweringUnit()), silent});
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_up{port="COM2"} 0)"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_last_good_reading_timestamp_seconds{port="COM2"} 1700000000.5)"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_link_losses_total{port="COM2"} 2)"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_alerts_total{port="COM2",alert="mains_failure"} 3)"));
    EXPECT_NE(text.find(R"(tornavel_ups_info{port="COM2")"), std::string::npos);
    for (const char* reading : {"input_volts", "status", "status_byte", "load_ratio", "register", "runtime_seconds",
                                "shutdown_grace_delay_seconds", "last_self_test_info", "last_transfer_cause_info"}) {
        EXPECT_EQ(text.find(std::string("tornavel_ups_") + reading + "{port=\"COM2\""), std::string::npos) << reading;
        EXPECT_NE(text.find(std::string("tornavel_ups_") + reading + "{port=\"COM1\""), std::string::npos) << reading;
    }
}

TEST(Metrics, NeverConnectedUnitHasOnlyHealthAndZeroCounters)
{
    UnitSnapshot unit;
    unit.port = "COM3";
    const std::string text = RenderMetrics({unit});
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_up{port="COM3"} 0)"));
    EXPECT_FALSE(Mentions(text, "last_good_reading_timestamp_seconds"));
    EXPECT_FALSE(Mentions(text, "info"));
    EXPECT_TRUE(HasLine(text, R"(tornavel_ups_alerts_total{port="COM3",alert="eeprom_written"} 0)"));
}

TEST(Metrics, EveryAlertKindIsCountedUnderItsOwnName)
{
    UnitSnapshot unit = AnsweringUnit();
    for (std::size_t row = 0; row < unit.alerts.size(); ++row) unit.alerts[row] = row + 10;
    const std::string text = RenderMetrics({unit});
    const char* names[] = {"mains_failure",    "mains_restored",     "battery_low",
                           "battery_ok",       "abnormal_condition", "abnormal_condition_cleared",
                           "shutdown_pending", "replace_battery",    "eeprom_written"};
    for (std::size_t row = 0; row < 9; ++row)
        EXPECT_TRUE(HasLine(text, std::string(R"(tornavel_ups_alerts_total{port="COM1",alert=")") + names[row] +
                                      "\"} " + std::to_string(row + 10)))
            << names[row];
    EXPECT_TRUE(HasLine(text, "# TYPE tornavel_ups_alerts_total counter"));
}

// Unit text and port names end up in label values: backslash, double quote
// and line feed are escaped; control bytes from a unit become U+FFFD;
// Windows-1251 letters become UTF-8.
TEST(Metrics, LabelValuesAreEscaped)
{
    UnitSnapshot unit = AnsweringUnit("/dev/odd\"port\\\nname");
    unit.slots[kSlotModel] = "Smart \"UPS\" \\ 1000";
    unit.slots[kSlotName] = Bytes("A\x01Z", 3);
    unit.slots[kSlotSerial] = "\xC6\xE0";  // Windows-1251 "Жа"
    const std::string text = RenderMetrics({unit});
    EXPECT_NE(text.find(R"(port="/dev/odd\"port\\\nname")"), std::string::npos) << text;
    EXPECT_NE(text.find(R"(model="Smart \"UPS\" \\ 1000")"), std::string::npos);
    EXPECT_NE(text.find("name=\"A\xEF\xBF\xBDZ\""), std::string::npos);
    EXPECT_NE(text.find("serial=\"Жа\""), std::string::npos);
}

// Each family once, HELP then TYPE then its samples; every sample line is a
// valid name, labels and a number.
TEST(Metrics, ExpositionLayout)
{
    const std::string text = RenderMetrics({AnsweringUnit("COM1"), AnsweringUnit("COM4")});
    const std::regex sample(R"re([a-zA-Z_:][a-zA-Z0-9_:]*\{port="[^"]*"(,[a-z_]+="(\\.|[^"\\])*")*\} -?[0-9.e+]+)re");
    std::set<std::string> typed;
    std::string lastHelp, current;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("# HELP ", 0) == 0) {
            lastHelp = line.substr(7, line.find(' ', 7) - 7);
        } else if (line.rfind("# TYPE ", 0) == 0) {
            current = line.substr(7, line.find(' ', 7) - 7);
            EXPECT_EQ(current, lastHelp);
            EXPECT_TRUE(typed.insert(current).second) << "family twice: " << current;
        } else {
            EXPECT_TRUE(std::regex_match(line, sample)) << line;
            EXPECT_EQ(line.rfind(current + "{", 0), 0u) << line << " outside " << current;
        }
    }
    EXPECT_EQ(text.back(), '\n');
}

}  // namespace
}  // namespace tornavel::service
