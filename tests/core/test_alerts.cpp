// Taking alerts and acknowledgements out of answers, and where they are shown.
#include <gtest/gtest.h>

#include "fakes.h"
#include "protocol/alerts.h"
#include "protocol/devicetable.h"

namespace tornavel {
namespace {

struct FilterCase {
    const char* name;
    Bytes answer;
    Bytes line;
    Bytes rest;
    std::vector<std::string> labels;  // the label calls in order
};

class Filter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(Filter, SplitsReportsAndKeepsTheRest)
{
    testing::RecordingScreen screen;
    DeviceTable table;
    AlertReporter reporter(screen, table);
    Bytes answer = GetParam().answer;
    Bytes line = "junk";
    FilterAnswer(answer, line, reporter);
    EXPECT_EQ(line, GetParam().line);
    EXPECT_EQ(answer, GetParam().rest);
    EXPECT_EQ(screen.Calls("text"), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(Table, Filter, ::testing::Values(
    FilterCase{"plain", "SM\r\n", "SM", "", {}},
    FilterCase{"alertAlone", "!", "", "", {"text LabelUME=!", "text LabelST=Сбой сети."}},
    FilterCase{"alertBeforeValue", "!\r\n229.3\r\n", "229.3", "",
               {"text LabelUME=!", "text LabelST=Сбой сети."}},
    FilterCase{"alertAfterValue", "229.3\r\n$", "229.3", "",
               {"text LabelUME=$", "text LabelST=Сеть восстановлена."}},
    FilterCase{"twoAlerts", "$%", "", "",
               {"text LabelUME=$", "text LabelST=Сеть восстановлена.", "text LabelUME=%",
                "text LabelST=Батарея разряжена."}},
    FilterCase{"okAlone", "OK", "", "", {"text LabelST=...", "text LabelUME=OK"}},
    FilterCase{"okLine", "OK\r\n", "", "", {"text LabelST=...", "text LabelUME=OK"}},
    FilterCase{"noThenValue", "NO\r\nSM\r\n", "SM", "", {"text LabelST=...", "text LabelUME=NO"}},
    FilterCase{"onIsAValue", "ON\r\n", "ON", "", {}},
    FilterCase{"okWithoutLineEnd", "SMOK", "SMOK", "", {}},
    FilterCase{"okInsideAWord", "BOOK\r\n", "BO", "", {"text LabelST=...", "text LabelUME=OK"}},
    FilterCase{"twoLineEndsAtMost", "#\n\r\n12\r\n", "", "12\r\n",
               {"text LabelUME=#", "text LabelST=Замените батареи."}},
    FilterCase{"eeprom", "|", "", "", {"text LabelUME=|", "text LabelST=Данные EEPROM записаны."}},
    FilterCase{"shutdown", "*", "", "", {"text LabelUME=*", "text LabelST=Ожидание выключения."}},
    FilterCase{"empty", "", "", "", {}},
    FilterCase{"shortTail", "xO", "xO", "", {}},
    FilterCase{"garbage", Bytes("\x00\xff\x01Z\r\nQ", 7), Bytes("\x00\xff\x01Z", 4), "Q", {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct AlertRow {
    const char* name;
    Bytes code;
    std::string status;  // LabelST
};

class AlertTable : public ::testing::TestWithParam<AlertRow> {};

// Every character the unit may send unasked, and both acknowledgements: what
// the operator reads in the status line and on the message label.
TEST_P(AlertTable, ShowsItsMessageAndCode)
{
    testing::RecordingScreen screen;
    DeviceTable table;
    table.Add(1);
    table.SetApcIndex(0);
    AlertReporter reporter(screen, table);
    Bytes answer = GetParam().code + "\r\n";
    Bytes line = "junk";
    FilterAnswer(answer, line, reporter);
    EXPECT_EQ(line, "");
    EXPECT_EQ(screen.Text("LabelST"), GetParam().status);
    EXPECT_EQ(screen.Text("LabelUME"), GetParam().code);
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(Table, AlertTable, ::testing::Values(
    AlertRow{"mainsFailed", "!", "Сбой сети."},
    AlertRow{"mainsBack", "$", "Сеть восстановлена."},
    AlertRow{"batteryLow", "%", "Батарея разряжена."},
    AlertRow{"batteryBack", "+", "Батарея в норме."},
    AlertRow{"fault", "?", "Аварийное состояние."},
    AlertRow{"faultCleared", "=", "Авария ликвидирована."},
    AlertRow{"shutdownPending", "*", "Ожидание выключения."},
    AlertRow{"replaceBattery", "#", "Замените батареи."},
    AlertRow{"eepromWritten", "|", "Данные EEPROM записаны."},
    AlertRow{"acknowledged", "OK", "..."},
    AlertRow{"refused", "NO", "..."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ReportAlert, WritesSlot31OnlyForAConnectedRecord)
{
    testing::RecordingScreen screen;
    DeviceTable table;
    AlertReporter reporter(screen, table);
    table.Add(1);
    table.SetApcIndex(5);  // beyond the table, as during a scan
    reporter.ReportAlert("!");
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], "");
    EXPECT_EQ(screen.Text("LabelST"), "Сбой сети.");

    table.SetApcIndex(0);
    reporter.ReportAlert("NO");
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], "NO");
    reporter.ReportAlert("|");
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], "|");
}

TEST(SlotTable, CommandsAndSlotsMatch)
{
    EXPECT_EQ(SlotCommand(kSlotModel), "\x01");
    EXPECT_EQ(SlotCommand(kSlotRegister3), "8");
    EXPECT_EQ(SlotCommand(kSlotLastMessage), "");
    for (int k = 1; k <= kSlotCount; ++k) {
        if (k != kSlotLastMessage) {
            EXPECT_EQ(SlotOfCommand(SlotCommand(k)), k);
        }
    }
    EXPECT_EQ(SlotOfCommand("p"), kSlotGraceDelay);
    EXPECT_EQ(SlotOfCommand("G"), kSlotTransferCause);
    EXPECT_EQ(SlotOfCommand("Z"), 0);
    EXPECT_EQ(SlotOfCommand(""), 0);
}

}  // namespace
}  // namespace tornavel
