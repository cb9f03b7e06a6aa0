// Connecting: the row checks, the "Y"/"SM" handshake, the full read, and the
// end of a connection.
#include <gtest/gtest.h>

#include "protocol/connection.h"
#include "unit_fixture.h"

namespace tornavel {
namespace {

using testing::FakeDevice;

struct ConnectionTest : ::testing::Test {
    testing::FakeClock clock;
    testing::FakeOpener opener;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    std::shared_ptr<FakeDevice> last;

    // Adds a scanned row for port `number` with the given mark or model.
    void Row(int number, const Bytes& model, FakeDevice::Responder responder)
    {
        session.table.Add(number);
        session.table.SetSlotOf(session.table.Count() - 1, kSlotModel, model);
        opener.ports[number] = [this, responder] {
            auto device = std::make_unique<FakeDevice>(clock);
            device->SetResponder(responder);
            return device;
        };
    }
};

TEST_F(ConnectionTest, FullReadSendsThirtyCommandsInSlotOrderAndFillsTheRecord)
{
    std::vector<Bytes> sent;
    Row(3, "Smart-UPS 1000", [&](const Bytes& cmd) {
        sent.push_back(cmd);
        return testing::TableResponder(testing::UnitAnswers())(cmd);
    });
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    ASSERT_EQ(sent.size(), 31u);
    EXPECT_EQ(sent[0], "Y");
    for (int k = 1; k <= 30; ++k) EXPECT_EQ(sent[k], SlotCommand(k)) << k;
    EXPECT_EQ(session.table.Slot(kSlotName), "UPS_IDEN");
    EXPECT_EQ(session.table.Slot(kSlotRegister3), "00");
    EXPECT_EQ(session.table.Slot(kSlotSeven), "0F");
    EXPECT_EQ(screen.Text("EditMODEL"), "Smart-UPS 1000");
    EXPECT_EQ(screen.Text("EditSTATUS"), "08 (в сети)");
    EXPECT_EQ(screen.Text("LabelST"), "подключен");
    EXPECT_TRUE(session.hCom);

    const auto gauge = screen.Calls("value GaugeW");
    ASSERT_EQ(gauge.size(), 31u);
    EXPECT_EQ(gauge.front(), "value GaugeW=0");
    EXPECT_EQ(gauge.back(), "value GaugeW=30");
    EXPECT_EQ(screen.Calls("max GaugeW"), (std::vector<std::string>{"max GaugeW=30"}));
    const auto panel = screen.Calls();
    const auto shown = std::find(panel.begin(), panel.end(), "show PanelWA");
    const auto hidden = std::find(panel.begin(), panel.end(), "hide PanelWA");
    const auto full = std::find(panel.begin(), panel.end(), "value GaugeW=30");
    EXPECT_LT(shown, full);
    EXPECT_LT(full, hidden);
    EXPECT_EQ(screen.Calls("picture ImageA").back(), "picture ImageA=ImageAOFF");
}

TEST_F(ConnectionTest, AlertBeforeSmIsReportedAndTheConnectionProceeds)
{
    auto answers = testing::UnitAnswers();
    answers["Y"] = "!SM\r\n";
    Row(1, "Smart-UPS 1000", testing::TableResponder(answers));
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    EXPECT_EQ(session.table.Slot(kSlotLastMessage), "!");
}

TEST_F(ConnectionTest, UnsupportedCommandLeavesItsSlotEmptyOrWithTheRefusal)
{
    auto answers = testing::UnitAnswers();
    answers.erase("g");
    answers["7"] = "NA\r\n";
    Row(1, "Smart-UPS 1000", testing::TableResponder(answers));
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    EXPECT_EQ(session.table.Slot(kSlotNominalVolts), "");
    EXPECT_EQ(session.table.Slot(kSlotSeven), "NA");
    EXPECT_EQ(session.table.Slot(kSlotTemperature), "031.5");
}

struct RefusedCase {
    const char* name;
    int row;
    Bytes model;
    Bytes answerToY;  // empty: no answer
};

class Refused : public ConnectionTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(Refused, NothingHappensAndNoPortStaysOpen)
{
    std::map<Bytes, Bytes> answers;
    if (!GetParam().answerToY.empty()) answers["Y"] = GetParam().answerToY;
    Row(1, GetParam().model, testing::TableResponder(answers));
    EXPECT_FALSE(OpenAndRead(session, port, GetParam().row));
    EXPECT_FALSE(session.hCom);
    EXPECT_TRUE(screen.Calls("text LabelST").empty());
}

INSTANTIATE_TEST_SUITE_P(Table, Refused, ::testing::Values(
    RefusedCase{"noRow", 0, "Smart-UPS", "SM\r\n"},
    RefusedCase{"rowBeyondTable", 2, "Smart-UPS", "SM\r\n"},
    RefusedCase{"silentMark", 1, "-", "SM\r\n"},
    RefusedCase{"modemMark", 1, "modem", "SM\r\n"},
    RefusedCase{"noAnswer", 1, "Smart-UPS", ""},
    RefusedCase{"notSm", 1, "Smart-UPS", "NA\r\n"},
    RefusedCase{"smInsideMore", 1, "Smart-UPS", "SMX\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTest, AbsentPortRefusesQuietly)
{
    session.table.Add(9);
    EXPECT_FALSE(OpenAndRead(session, port, 1));
    EXPECT_FALSE(session.hCom);
}

TEST_F(ConnectionTest, ClosingSendsRWaitsASecondClosesAndForgetsRequests)
{
    testing::UnitFixture unit;
    unit.session.requests.PostChange("k", "EditZS", "+");
    unit.session.requests.PostCommand("W");
    unit.session.requests.terminalCmd.Set("Y");
    CloseConnection(unit.session, unit.port);

    const auto events = unit.device->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].what, "write");
    EXPECT_EQ(events[0].bytes, "R");
    EXPECT_EQ(events[1].what, "close");
    EXPECT_EQ(events[1].at - events[0].at, 200 + 1000);
    EXPECT_FALSE(unit.session.hCom);
    EXPECT_FALSE(unit.session.requests.eepromChange);
    EXPECT_FALSE(unit.session.requests.cmdPending);
    EXPECT_EQ(unit.session.requests.terminalCmd.Get(), "");
    EXPECT_EQ(unit.screen.Text("BitBtnGO"), "go");
    EXPECT_EQ(unit.screen.Text("LabelST"), "...");
    EXPECT_EQ(unit.screen.Text("LabelUME"), "...");
    EXPECT_FALSE(unit.screen.Visible("PageControl1"));
    EXPECT_EQ(unit.screen.Picture("ImageA"), "ImageAOFF");
}

}  // namespace
}  // namespace tornavel
