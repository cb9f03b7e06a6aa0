// Decoding the status byte, the two gauges, the copy of a record into the
// monitor page and the voltage history.
#include <gtest/gtest.h>

#include "monitor/statusdisplay.h"
#include "monitor/volthistory.h"
#include "protocol/devicetable.h"
#include "fakes.h"

namespace tornavel {
namespace {

struct StatusCase {
    Bytes status;
    std::string text;
    std::string setIcons;  // digits of the icons shown set, e.g. "34"
};

class Status : public ::testing::TestWithParam<StatusCase> {};

TEST_P(Status, TextIconsAndCalibrationIndicators)
{
    testing::RecordingScreen screen;
    EXPECT_EQ(MakeStatus(screen, GetParam().status), GetParam().text);
    for (int n = 0; n < 8; ++n) {
        const bool set = GetParam().setIcons.find(char('0' + n)) != std::string::npos;
        EXPECT_EQ(screen.Picture("ImageST" + std::to_string(n)),
                  "ImageS" + std::to_string(n) + (set ? "" : "x"))
            << GetParam().status << " icon " << n;
    }
    const bool calibrating = GetParam().setIcons.find('0') != std::string::npos;
    EXPECT_EQ(screen.Visible("ImageKA"), calibrating);
    EXPECT_EQ(screen.Text("BitBtnKA"), calibrating ? "прервать калибровку" : "калибровкa");
}

INSTANTIATE_TEST_SUITE_P(Table, Status, ::testing::Values(
    StatusCase{"08", "08 (в сети)", "3"},
    StatusCase{"18", "18", "34"},
    StatusCase{"0a", "0a", "13"},
    StatusCase{"C1", "C1", "067"},
    StatusCase{"108", "108", ""},       // three digits read as 0: every flag clear
    StatusCase{"FF", "FF", "01234567"},
    StatusCase{"8", "8", "3"}));

TEST(Status, CalibrationCaptionEndsWithALatinA)
{
    testing::RecordingScreen screen;
    MakeStatus(screen, "08");
    const std::string caption = screen.Text("BitBtnKA");
    EXPECT_EQ(caption.back(), 'a');
    EXPECT_NE(caption, "калибровка");
}

TEST(Status, NonHexAnswerLeavesTheIconsAlone)
{
    for (const Bytes& status : std::vector<Bytes>{"", "ab!x", "0 8", Bytes("0\0", 2)}) {
        testing::RecordingScreen screen;
        EXPECT_EQ(MakeStatus(screen, status), status);
        EXPECT_TRUE(screen.Calls().empty()) << status;
    }
}

struct GaugeCase {
    Bytes answer;
    int value;
    std::string colour;
};

class Battery : public ::testing::TestWithParam<GaugeCase> {};
class Load : public ::testing::TestWithParam<GaugeCase> {};

TEST_P(Battery, ValueLabelAndColour)
{
    testing::RecordingScreen screen;
    SetBatt(screen, GetParam().answer);
    const std::string v = std::to_string(GetParam().value);
    EXPECT_EQ(screen.Calls(), (std::vector<std::string>{"value BATT=" + v, "text LabelCharge=" + v + "%",
                                                        "color BATT=" + GetParam().colour}));
}

TEST_P(Load, ValueLabelAndColour)
{
    testing::RecordingScreen screen;
    SetLoad(screen, GetParam().answer);
    const std::string v = std::to_string(GetParam().value);
    EXPECT_EQ(screen.Calls(), (std::vector<std::string>{"value LOAD=" + v, "text LabelLOAD=" + v + "%",
                                                        "color LOAD=" + GetParam().colour}));
}

INSTANTIATE_TEST_SUITE_P(Table, Battery, ::testing::Values(
    GaugeCase{"100.0", 100, "50C040"}, GaugeCase{"070.0", 70, "E0E000"}, GaugeCase{"071.0", 71, "50C040"},
    GaugeCase{"031.0", 31, "E0E000"}, GaugeCase{"030.0", 30, "FF8070"}, GaugeCase{"", 0, "FF8070"},
    GaugeCase{"105", 100, "50C040"}, GaugeCase{"NA", 0, "FF8070"}, GaugeCase{"99999999999", 100, "50C040"}));

INSTANTIATE_TEST_SUITE_P(Table, Load, ::testing::Values(
    GaugeCase{"080.5", 80, "E0E000"}, GaugeCase{"081.0", 81, "FF8070"}, GaugeCase{"040.0", 40, "50C040"},
    GaugeCase{"041.0", 41, "E0E000"}, GaugeCase{"", 0, "50C040"}, GaugeCase{"112.0", 100, "FF8070"}));

TEST(UpdateScreen, CopiesEverySlotInOrderAndPostsTheGauges)
{
    testing::RecordingScreen screen;
    DeviceTable table;
    table.Add(1);
    table.SetApcIndex(0);
    for (int k = 1; k <= kSlotCount; ++k) table.SetSlot(k, "v" + std::to_string(k));
    table.SetSlot(kSlotStatus, "08");
    table.SetSlot(kSlotName, "\xC8\xC1\xCF");  // ИБП in Windows-1251
    UpdateScreen(screen, table);

    std::vector<std::string> order;
    for (const auto& call : screen.Calls())
        if (call.rfind("text Edit", 0) == 0 || call.rfind("post", 0) == 0) order.push_back(call);
    const std::vector<std::string> expected = {
        "text EditMODEL=v1", "text EditNAME=ИБП", "text EditSERIAL=v3", "text EditDATA=v4",
        "text EditSTATUS=08 (в сети)", "post 1035", "text EditBATTCNT=v7", "text EditDATAZAM=v8",
        "text EditUbatt=v9", "text EditUnomi=v10", "text EditTgrad=v11", "text EditRUNTIME=v12", "post 1036",
        "text EditSIGNAL=v14", "text EditINTSAMOT=v15", "text EditSENSIT=v16", "text EditUout=v17",
        "text EditUPmin=v18", "text EditUPmax=v19", "text EditUSmin=v20", "text EditUSmax=v21",
        "text EditUSin=v22", "text EditUSout=v23", "text EditFREQ=v24", "text EditQUALITY=v25"};
    EXPECT_EQ(order, expected);
}

TEST(VoltHistory, FillsThenScrollsKeepingTheNewest)
{
    VoltHistory history;
    EXPECT_EQ(history.voltCount(), 0);
    for (int i = 0; i < 130; ++i) history.SetVolt(std::to_string(100 + i) + ".5", std::to_string(i));
    EXPECT_EQ(history.voltCount(), 130);
    history.SetVolt("231.0", "x");  // the 131st reading drops the first
    const auto readings = history.Readings();
    ASSERT_EQ(readings.size(), 130u);
    EXPECT_EQ(readings.front().input, 101);
    EXPECT_EQ(readings.back().input, 231);
    EXPECT_EQ(readings.back().output, 0);
    history.ResetVoltGraph();
    EXPECT_TRUE(history.Readings().empty());
}

TEST(VoltHistory, AnUnansweredReadIsNoReadingWhileZeroVoltsIsOne)
{
    VoltHistory history;
    history.SetVolt("", "228.1");
    history.SetVolt("000.0", "");
    const auto readings = history.Readings();
    ASSERT_EQ(readings.size(), 2u);
    EXPECT_EQ(readings[0].input, -1);
    EXPECT_EQ(readings[0].output, 228);
    EXPECT_EQ(readings[1].input, 0);  // on battery: the mains really reads 0 V
    EXPECT_EQ(readings[1].output, -1);
}

}  // namespace
}  // namespace tornavel
