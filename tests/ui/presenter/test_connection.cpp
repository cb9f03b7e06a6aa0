// Connecting: the row checks, the "Y"/"SM" handshake, the full read, and the
// end of a connection; with what the window shows of them through its
// presenter (the wait panel, the page, the idle window).
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "protocol/connection.h"
#include "unit_fixture.h"
#include "windowpresenter.h"

namespace tornavel {
namespace {

using testing::FakeDevice;

// The full read as a unit receives it: one command per slot, slots 1 to 30.
const std::vector<Bytes> kFullRead = {"\x01", "c", "n", "m", "Q", "P", ">", "x", "B", "g", "C", "j", "f", "k", "E",
                                      "s",    "o", "l", "u", "N", "M", "L", "O", "F", "9", "7", "0", "~", "'", "8"};

// A unit's answer to a command as the program stores it: without its line end.
Bytes StoredAnswer(const Bytes& command)
{
    const Bytes answer = testing::UnitAnswers().at(command);
    return answer.substr(0, answer.find('\r'));
}

struct ConnectionTest : ::testing::Test {
    testing::FakeClock clock;
    testing::FakeOpener opener;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};
    testing::RecordingEvents history;
    WindowPresenter presenter{screen, history};
    std::shared_ptr<FakeDevice> last;

    ConnectionTest() { session.events = &presenter; }

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
    EXPECT_EQ(std::vector<Bytes>(sent.begin() + 1, sent.end()), kFullRead);
    EXPECT_EQ(session.table.Slot(kSlotName), "UPS_IDEN");
    EXPECT_EQ(session.table.Slot(kSlotRegister3), "10");
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

TEST_F(ConnectionTest, EveryAnswerLandsInItsOwnSlotAndField)
{
    Row(3, "Smart-UPS 1000", testing::TableResponder(testing::UnitAnswers()));
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    std::set<Bytes> distinct;
    for (int k = 1; k <= 30; ++k) {
        const Bytes& command = kFullRead[static_cast<std::size_t>(k - 1)];
        EXPECT_EQ(session.table.Slot(k), StoredAnswer(command)) << "slot " << k;
        distinct.insert(StoredAnswer(command));
    }
    ASSERT_EQ(distinct.size(), 30u) << "the unit's answers must all differ";

    const std::vector<std::pair<const char*, const char*>> fields = {{"EditMODEL", "Smart-UPS 1000"},
                                                                     {"EditNAME", "UPS_IDEN"},
                                                                     {"EditSERIAL", "QS0512345678"},
                                                                     {"EditDATA", "12/03/05"},
                                                                     {"EditSTATUS", "08 (в сети)"},
                                                                     {"EditBATTCNT", "000"},
                                                                     {"EditDATAZAM", "14/06/11"},
                                                                     {"EditUbatt", "27.45"},
                                                                     {"EditUnomi", "024"},
                                                                     {"EditTgrad", "031.5"},
                                                                     {"EditRUNTIME", "0042:"},
                                                                     {"EditSIGNAL", "0"},
                                                                     {"EditINTSAMOT", "336"},
                                                                     {"EditSENSIT", "H"},
                                                                     {"EditUout", "230"},
                                                                     {"EditUPmin", "196"},
                                                                     {"EditUPmax", "253"},
                                                                     {"EditUSmin", "227.5"},
                                                                     {"EditUSmax", "231.4"},
                                                                     {"EditUSin", "229.3"},
                                                                     {"EditUSout", "228.1"},
                                                                     {"EditFREQ", "50.00"},
                                                                     {"EditQUALITY", "FF"}};
    for (const auto& [field, text] : fields) EXPECT_EQ(screen.Text(field), text) << field;
}

TEST_F(ConnectionTest, TheFullReadShowsItsStartBeforeTheFirstCommand)
{
    // What the window shows each time it handles its messages during the read.
    struct Seen {
        std::string status;
        bool busy;
        bool panel;
        std::string lamp;
    };
    std::vector<Seen> seen;
    screen.onProcessMessages = [&] {
        seen.push_back(
            {screen.Text("LabelST"), screen.Visible("ImageW"), screen.Visible("PanelWA"), screen.Picture("ImageA")});
    };
    std::vector<std::string> callsAtFirstRead;
    Row(3, "Smart-UPS 1000", [&](const Bytes& cmd) {
        if (cmd == "\x01") callsAtFirstRead = screen.Calls();
        return testing::TableResponder(testing::UnitAnswers())(cmd);
    });
    ASSERT_TRUE(OpenAndRead(session, port, 1));

    // The first time the read lets the window draw, before anything is sent.
    const auto start = std::find_if(seen.begin(), seen.end(),
                                    [](const Seen& s) { return s.status == "идёт опрос устройства..."; });
    ASSERT_NE(start, seen.end());
    EXPECT_TRUE(start->busy);
    EXPECT_TRUE(start->panel);
    EXPECT_EQ(start->lamp, "ImageAON");
    // It stays so for the whole read.
    for (auto it = start; it != seen.end(); ++it) {
        EXPECT_EQ(it->status, "идёт опрос устройства...");
        EXPECT_TRUE(it->panel);
        EXPECT_EQ(it->lamp, "ImageAON");
    }
    const auto at = [&](const std::string& call) {
        return std::find(callsAtFirstRead.begin(), callsAtFirstRead.end(), call) - callsAtFirstRead.begin();
    };
    EXPECT_LT(at("text LabelST=идёт опрос устройства..."), at("show PanelWA"));
    EXPECT_LT(at("max GaugeW=30"), at("value GaugeW=0"));
    EXPECT_LT(at("value GaugeW=0"), static_cast<long>(callsAtFirstRead.size()));
    EXPECT_LT(at("picture ImageA=ImageAON"), static_cast<long>(callsAtFirstRead.size()));

    // And the end.
    EXPECT_EQ(screen.Text("LabelST"), "подключен");
    EXPECT_FALSE(screen.Visible("ImageW"));
    EXPECT_FALSE(screen.Visible("PanelWA"));
    EXPECT_EQ(screen.Picture("ImageA"), "ImageAOFF");
}

TEST_F(ConnectionTest, ThePortIsSetForTheUpsLine)
{
    FakeDevice* device = nullptr;
    opener.ports[2] = [&] {
        auto d = std::make_unique<FakeDevice>(clock);
        d->SetResponder(testing::TableResponder(testing::UnitAnswers()));
        device = d.get();
        return d;
    };
    session.table.Add(2);
    session.table.SetSlotOf(0, kSlotModel, "Smart-UPS 1000");
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    ASSERT_NE(device, nullptr);
    const LineSettings line = device->applied();
    EXPECT_EQ(line.baud, 2400u);
    EXPECT_EQ(line.dataBits, 8);
    EXPECT_EQ(line.parity, Parity::None);
    EXPECT_EQ(line.stopBits, StopBits::One);
    EXPECT_EQ(device->Events().front().what, "apply");  // before the first byte
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
    answers.erase("'");
    answers["7"] = "NA\r\n";
    Row(1, "Smart-UPS 1000", testing::TableResponder(answers));
    ASSERT_TRUE(OpenAndRead(session, port, 1));
    EXPECT_EQ(session.table.Slot(kSlotRegister2), "");
    EXPECT_EQ(session.table.Slot(kSlotSeven), "NA");
    EXPECT_EQ(session.table.Slot(kSlotRegister1), "01");
    // Read after the silent command, with no pause for its answer to come:
    // what came may be that answer, late, so it is left out.
    EXPECT_EQ(session.table.Slot(kSlotRegister3), "");
    EXPECT_FALSE(session.table.Record(0).settled[kSlotRegister3]);
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

INSTANTIATE_TEST_SUITE_P(Table, Refused,
                         ::testing::Values(RefusedCase{"noRow", 0, "Smart-UPS", "SM\r\n"},
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
    WindowPresenter windowPresenter{unit.screen, unit.events};
    unit.session.events = &windowPresenter;
    unit.session.requests.PostChange("k", "+");
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

// The polling thread ended because the device went away: the same idle
// window, but no "R" is tried on the dead line and no second is spent on it.
TEST_F(ConnectionTest, ClosingAVanishedLineSendsNothingAndSaysThePortIsGone)
{
    testing::UnitFixture unit;
    WindowPresenter windowPresenter{unit.screen, unit.events};
    unit.session.events = &windowPresenter;
    unit.device->Unplug();
    unit.session.requests.lineGone = true;
    unit.session.requests.PostCommand("W");
    CloseConnection(unit.session, unit.port);

    const auto events = unit.device->Events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].what, "close");
    EXPECT_EQ(events[0].at, 0);
    EXPECT_FALSE(unit.session.hCom);
    EXPECT_FALSE(unit.session.requests.cmdPending);
    EXPECT_EQ(unit.screen.Text("BitBtnGO"), "go");
    EXPECT_EQ(unit.screen.Text("LabelST"), "COM1 отключен, ждите его возвращения...");
}

TEST_F(ConnectionTest, ANewConnectionForgetsThatTheLastLineVanished)
{
    session.requests.lineGone = true;
    Row(1, "Smart-UPS 1000", testing::TableResponder(testing::UnitAnswers()));
    EXPECT_TRUE(OpenAndRead(session, port, 1));
    EXPECT_FALSE(session.requests.lineGone);
}

}  // namespace
}  // namespace tornavel
