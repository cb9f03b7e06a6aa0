// Taking alerts and acknowledgements out of answers, reporting each in order
// and keeping the last in the connected record.
#include <gtest/gtest.h>

#include "protocol/alerts.h"
#include "protocol/devicetable.h"

namespace tornavel {
namespace {

struct FilterCase {
    const char* name;
    Bytes answer;
    Bytes line;
    Bytes rest;
    std::vector<Bytes> reported;  // the tokens reported, in order
};

// The tokens a reporter reports, in order.
struct Reported {
    explicit Reported(AlertReporter& reporter)
    {
        reporter.SetObserver([this](const Bytes& token) { tokens.push_back(token); });
    }
    std::vector<Bytes> tokens;
};

class Filter : public ::testing::TestWithParam<FilterCase> {};

TEST_P(Filter, SplitsReportsAndKeepsTheRest)
{
    DeviceTable table;
    AlertReporter reporter(table);
    Reported reported(reporter);
    Bytes answer = GetParam().answer;
    Bytes line = "junk";
    FilterAnswer(answer, line, reporter);
    EXPECT_EQ(line, GetParam().line);
    EXPECT_EQ(answer, GetParam().rest);
    EXPECT_EQ(reported.tokens, GetParam().reported);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Filter,
    ::testing::Values(FilterCase{"plain", "SM\r\n", "SM", "", {}}, FilterCase{"alertAlone", "!", "", "", {"!"}},
                      FilterCase{"alertBeforeValue", "!\r\n229.3\r\n", "229.3", "", {"!"}},
                      FilterCase{"alertAfterValue", "229.3\r\n$", "229.3", "", {"$"}},
                      FilterCase{"twoAlerts", "$%", "", "", {"$", "%"}}, FilterCase{"okAlone", "OK", "", "", {"OK"}},
                      FilterCase{"okLine", "OK\r\n", "", "", {"OK"}},
                      FilterCase{"noThenValue", "NO\r\nSM\r\n", "SM", "", {"NO"}},
                      FilterCase{"onIsAValue", "ON\r\n", "ON", "", {}},
                      FilterCase{"okWithoutLineEnd", "SMOK", "SMOK", "", {}},
                      FilterCase{"okInsideAWord", "BOOK\r\n", "BO", "", {"OK"}},
                      FilterCase{"twoLineEndsAtMost", "#\n\r\n12\r\n", "", "12\r\n", {"#"}},
                      FilterCase{"eeprom", "|", "", "", {"|"}}, FilterCase{"shutdown", "*", "", "", {"*"}},
                      FilterCase{"empty", "", "", "", {}}, FilterCase{"shortTail", "xO", "xO", "", {}},
                      FilterCase{"garbage", Bytes("\x00\xff\x01Z\r\nQ", 7), Bytes("\x00\xff\x01Z", 4), "Q", {}}),
    [](const auto& info) { return std::string(info.param.name); });

// Every character the unit may send unasked, and both acknowledgements: each
// reported and kept as the connected record's last message.
class AlertTable : public ::testing::TestWithParam<const char*> {};

TEST_P(AlertTable, ReportsAndKeepsIt)
{
    DeviceTable table;
    table.Add(1);
    table.SetApcIndex(0);
    AlertReporter reporter(table);
    Reported reported(reporter);
    const Bytes code = GetParam();
    Bytes answer = code + "\r\n";
    Bytes line = "junk";
    FilterAnswer(answer, line, reporter);
    EXPECT_EQ(line, "");
    EXPECT_EQ(reported.tokens, std::vector<Bytes>{code});
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], code);
}

INSTANTIATE_TEST_SUITE_P(Table, AlertTable, ::testing::Values("!", "$", "%", "+", "?", "=", "*", "#", "|", "OK", "NO"));

TEST(ReportAlert, WritesSlot31OnlyForAConnectedRecord)
{
    DeviceTable table;
    AlertReporter reporter(table);
    Reported reported(reporter);
    table.Add(1);
    table.SetApcIndex(5);  // beyond the table, as during a scan
    reporter.ReportAlert("!");
    EXPECT_EQ(table.Record(0).slot[kSlotLastMessage], "");
    EXPECT_EQ(reported.tokens, std::vector<Bytes>{"!"});  // still reported

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
