// Decoding the status byte, the two gauges, the copy of a record into the
// monitor page, and an alert on the message labels.
#include <gtest/gtest.h>

#include "fakes.h"
#include "protocol/devicetable.h"
#include "statusdisplay.h"

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
        EXPECT_EQ(screen.Picture("ImageST" + std::to_string(n)), "ImageS" + std::to_string(n) + (set ? "" : "x"))
            << GetParam().status << " icon " << n;
    }
    const bool calibrating = GetParam().setIcons.find('0') != std::string::npos;
    EXPECT_EQ(screen.Visible("ImageKA"), calibrating);
    EXPECT_EQ(screen.Text("BitBtnKA"), calibrating ? "прервать калибровку" : "калибровкa");
}

INSTANTIATE_TEST_SUITE_P(Table, Status,
                         ::testing::Values(StatusCase{"08", "08 (в сети)", "3"}, StatusCase{"18", "18", "34"},
                                           StatusCase{"0a", "0a", "13"}, StatusCase{"C1", "C1", "067"},
                                           StatusCase{"108", "108", ""},  // three digits read as 0: every flag clear
                                           StatusCase{"FF", "FF", "01234567"}, StatusCase{"8", "8", "3"}));

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

INSTANTIATE_TEST_SUITE_P(Table, Battery,
                         ::testing::Values(GaugeCase{"100.0", 100, "50C040"}, GaugeCase{"070.0", 70, "E0E000"},
                                           GaugeCase{"071.0", 71, "50C040"}, GaugeCase{"031.0", 31, "E0E000"},
                                           GaugeCase{"030.0", 30, "FF8070"}, GaugeCase{"", 0, "FF8070"},
                                           GaugeCase{"105", 100, "50C040"}, GaugeCase{"NA", 0, "FF8070"},
                                           GaugeCase{"99999999999", 100, "50C040"}));

INSTANTIATE_TEST_SUITE_P(Table, Load,
                         ::testing::Values(GaugeCase{"080.5", 80, "E0E000"}, GaugeCase{"081.0", 81, "FF8070"},
                                           GaugeCase{"040.0", 40, "50C040"}, GaugeCase{"041.0", 41, "E0E000"},
                                           GaugeCase{"", 0, "50C040"}, GaugeCase{"112.0", 100, "FF8070"}));

TEST(UpdateScreen, CopiesEverySlotInOrderAndPostsTheGauges)
{
    testing::RecordingScreen screen;
    apcrec record;
    for (int k = 1; k <= kSlotCount; ++k) record.slot[k] = "v" + std::to_string(k);
    record.slot[kSlotStatus] = "08";
    record.slot[kSlotName] = "\xC8\xC1\xCF";  // ИБП in Windows-1251
    UpdateScreen(screen, record);

    std::vector<std::string> order;
    for (const auto& call : screen.Calls())
        if (call.rfind("text Edit", 0) == 0 || call.rfind("post", 0) == 0) order.push_back(call);
    const std::vector<std::string> expected = {
        "text EditMODEL=v1",   "text EditNAME=ИБП",           "text EditSERIAL=v3",
        "text EditDATA=v4",    "text EditSTATUS=08 (в сети)", "post 1035",
        "text EditBATTCNT=v7", "text EditDATAZAM=v8",         "text EditUbatt=v9",
        "text EditUnomi=v10",  "text EditTgrad=v11",          "text EditRUNTIME=v12",
        "post 1036",           "text EditSIGNAL=v14",         "text EditINTSAMOT=v15",
        "text EditSENSIT=v16", "text EditUout=v17",           "text EditUPmin=v18",
        "text EditUPmax=v19",  "text EditUSmin=v20",          "text EditUSmax=v21",
        "text EditUSin=v22",   "text EditUSout=v23",          "text EditFREQ=v24",
        "text EditQUALITY=v25"};
    EXPECT_EQ(order, expected);
}

struct AlertShown {
    const char* name;
    Bytes token;
    std::vector<std::string> labels;  // the label calls in order
};

class AlertLabels : public ::testing::TestWithParam<AlertShown> {};

// Every character the unit may send unasked, and both acknowledgements: what
// the operator reads in the status line and on the message label.
TEST_P(AlertLabels, ShowItsCodeAndMessage)
{
    testing::RecordingScreen screen;
    ShowAlert(screen, GetParam().token);
    EXPECT_EQ(screen.Calls(), GetParam().labels);
}

INSTANTIATE_TEST_SUITE_P(
    Table, AlertLabels,
    ::testing::Values(AlertShown{"mainsFailed", "!", {"text LabelUME=!", "text LabelST=Сбой сети."}},
                      AlertShown{"mainsBack", "$", {"text LabelUME=$", "text LabelST=Сеть восстановлена."}},
                      AlertShown{"batteryLow", "%", {"text LabelUME=%", "text LabelST=Батарея разряжена."}},
                      AlertShown{"batteryBack", "+", {"text LabelUME=+", "text LabelST=Батарея в норме."}},
                      AlertShown{"fault", "?", {"text LabelUME=?", "text LabelST=Аварийное состояние."}},
                      AlertShown{"faultCleared", "=", {"text LabelUME==", "text LabelST=Авария ликвидирована."}},
                      AlertShown{"shutdownPending", "*", {"text LabelUME=*", "text LabelST=Ожидание выключения."}},
                      AlertShown{"replaceBattery", "#", {"text LabelUME=#", "text LabelST=Замените батареи."}},
                      AlertShown{"eepromWritten", "|", {"text LabelUME=|", "text LabelST=Данные EEPROM записаны."}},
                      AlertShown{"acknowledged", "OK", {"text LabelST=...", "text LabelUME=OK"}},
                      AlertShown{"refused", "NO", {"text LabelST=...", "text LabelUME=NO"}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tornavel
