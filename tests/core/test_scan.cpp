// Finding the units: which ports exist, what answers on each, what the grid
// and the status line show.
#include <gtest/gtest.h>

#include "protocol/scan.h"
#include "unit_fixture.h"

namespace tornavel {
namespace {

using testing::FakeDevice;

struct ScanTest : ::testing::Test {
    testing::FakeClock clock;
    testing::FakeOpener opener;
    ComPort port{opener, clock};
    testing::RecordingScreen screen;
    Session session{screen};

    // Port n answers with this responder on every open.
    void Attach(int number, FakeDevice::Responder responder)
    {
        opener.ports[number] = [this, responder] {
            auto device = std::make_unique<FakeDevice>(clock);
            device->SetResponder(responder);
            return device;
        };
    }
    Bytes Slot(int index, int slot) const { return session.table.Record(index).slot[slot]; }
};

FakeDevice::Responder Echo(Bytes modemReply)
{
    return [modemReply](const Bytes& cmd) {
        std::vector<FakeDevice::Reply> r;
        if (cmd == "Y") r.push_back({20, "Y"});
        if (cmd == "atz\r\n" && !modemReply.empty()) r.push_back({20, modemReply});
        return r;
    };
}

TEST_F(ScanTest, SilentPortAndUnitAreListedWithStatusTexts)
{
    Attach(1, nullptr);
    Attach(4, testing::TableResponder(testing::UnitAnswers()));
    ComPortScan(session, port);

    ASSERT_EQ(session.table.Count(), 2);
    EXPECT_EQ(session.table.Record(0).port, 1);
    EXPECT_EQ(Slot(0, kSlotModel), "-");
    EXPECT_EQ(Slot(0, kSlotSerial), "");
    EXPECT_EQ(Slot(1, kSlotModel), "Smart-UPS 1000");
    EXPECT_EQ(Slot(1, kSlotSerial), "QS0512345678");
    EXPECT_EQ(Slot(1, kSlotMadeDate), "12/03/05");
    EXPECT_EQ(screen.Calls("text LabelST"),
              (std::vector<std::string>{"text LabelST=ждите, идет опрос COM портов...",
                                        "text LabelST=ждите, идет поиск устройств...",
                                        "text LabelST=ready"}));
    EXPECT_EQ(screen.Calls("cell"),
              (std::vector<std::string>{"cell UPS:0:1=COM1", "cell UPS:1:1=-", "cell UPS:2:1=",
                                        "cell UPS:3:1=", "cell UPS:0:2=COM4",
                                        "cell UPS:1:2=Smart-UPS 1000", "cell UPS:2:2=QS0512345678",
                                        "cell UPS:3:2=12/03/05"}));
    EXPECT_EQ(screen.Calls("rows").back(), "rows UPS=3");
    // Every port 1..16 was tried once in the first pass, then the two again.
    EXPECT_EQ(opener.opened.size(), 18u);
}

TEST_F(ScanTest, UnitSequenceEndsWithLeavingSmartMode)
{
    std::vector<Bytes> sent;
    Attach(2, [&](const Bytes& cmd) {
        sent.push_back(cmd);
        return testing::TableResponder(testing::UnitAnswers())(cmd);
    });
    ComPortScan(session, port);
    EXPECT_EQ(sent, (std::vector<Bytes>{"Y", "\x01", "n", "m", "R"}));
}

TEST_F(ScanTest, EveryProbedPortIsSetForTheUpsLineBeforeItsFirstByte)
{
    std::vector<LineSettings> atProbe;  // each device's line when "Y" reaches it
    for (int number : {2, 7}) {
        opener.ports[number] = [&] {
            auto device = std::make_unique<FakeDevice>(clock);
            device->SetResponder([&atProbe, d = device.get()](const Bytes& cmd) {
                if (cmd == "Y") atProbe.push_back(d->applied());
                return testing::TableResponder(testing::UnitAnswers())(cmd);
            });
            return device;
        };
    }
    ComPortScan(session, port);
    ASSERT_EQ(atProbe.size(), 2u);
    for (const LineSettings& line : atProbe) {
        EXPECT_EQ(line.baud, 2400u);
        EXPECT_EQ(line.dataBits, 8);
        EXPECT_EQ(line.parity, Parity::None);
        EXPECT_EQ(line.stopBits, StopBits::One);
    }
}

struct ModemCase {
    Bytes reply;
    Bytes mark;
};

class ModemProbe : public ScanTest, public ::testing::WithParamInterface<ModemCase> {};

TEST_P(ModemProbe, EchoOfYLeadsToTheModemTest)
{
    Attach(3, Echo(GetParam().reply));
    ComPortScan(session, port);
    EXPECT_EQ(Slot(0, kSlotModel), GetParam().mark);
}

INSTANTIATE_TEST_SUITE_P(Table, ModemProbe, ::testing::Values(
    ModemCase{"atz\r\r\nok\r\n", "modem"},
    ModemCase{"ATZ\r\r\nOK\r\n", "modem"},   // capitals match too
    ModemCase{"atz\r\nok\r\n", "-"},
    ModemCase{"", "-"},                      // echoes "Y" but ignores atz
    ModemCase{"atz\r\r\nok\r\nx", "-"}));

TEST_F(ScanTest, GarbageAnswerCountsAsAUnitAndFillsWhatTheFilterLeaves)
{
    Attach(5, [](const Bytes& cmd) {
        std::vector<FakeDevice::Reply> r;
        if (cmd == "Y") r.push_back({20, Bytes("\xff\x00zz\r\n", 6)});
        if (cmd == "n") r.push_back({20, "#\r\nAB\r\n"});
        return r;
    });
    ComPortScan(session, port);
    EXPECT_EQ(Slot(0, kSlotModel), "");  // no answer to Ctrl+A: empty, not the "Y" leftover
    EXPECT_EQ(Slot(0, kSlotSerial), "AB");
    EXPECT_EQ(screen.Text("LabelST"), "ready");
}

TEST_F(ScanTest, UnitThatAnswersYButNotCtrlAGetsAnEmptyModel)
{
    Attach(1, [](const Bytes& cmd) {
        std::vector<FakeDevice::Reply> r;
        if (cmd == "Y") r.push_back({20, "SM\r\n"});
        return r;
    });
    ComPortScan(session, port);
    EXPECT_EQ(Slot(0, kSlotModel), "");
}

TEST_F(ScanTest, PortTakenBeforeTheSecondPassKeepsAnEmptyRow)
{
    int opens = 0;
    opener.ports[2] = [&]() -> std::unique_ptr<SerialDevice> {
        if (++opens > 1) return nullptr;
        return std::make_unique<FakeDevice>(clock);
    };
    ComPortScan(session, port);
    ASSERT_EQ(session.table.Count(), 1);
    EXPECT_EQ(Slot(0, kSlotModel), "");
    EXPECT_EQ(screen.Text("LabelST"), "ready");
}

TEST_F(ScanTest, NoPortAtAll)
{
    ComPortScan(session, port);
    EXPECT_EQ(session.table.Count(), 0);
    EXPECT_EQ(screen.Text("LabelST"), "COM порты не обнаружены");
    EXPECT_EQ(screen.Calls("rows").back(), "rows UPS=2");
    EXPECT_TRUE(screen.Calls("cell").empty());
}

// What the status line says when the scan ends, with ports held by others.
struct BusyCase {
    const char* name;
    std::map<int, LockHolder> holders;
    bool freePort;  // COM5, silent
    const char* status;
};

class BusyPorts : public ScanTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyPorts, NameTheirHolderInTheClosingStatus)
{
    opener.holders = GetParam().holders;
    if (GetParam().freePort) Attach(5, nullptr);
    ComPortScan(session, port);
    EXPECT_EQ(screen.Text("LabelST"), GetParam().status);
    EXPECT_EQ(session.table.Count(), GetParam().freePort ? 1 : 0);  // a held port is never listed
}

INSTANTIATE_TEST_SUITE_P(
    Table, BusyPorts,
    ::testing::Values(
        BusyCase{"HeldBesideAFreePort", {{1, {4242, "tornavel-monitor"}}}, true,
                 "ready, COM1: занят (tornavel-monitor)"},
        BusyCase{"OnlyHeldPorts", {{2, {7, "minicom"}}, {3, {8, ""}}}, false,
                 "COM2: занят (minicom), COM3: занят (процесс 8)"},
        BusyCase{"NoneHeld", {}, true, "ready"}),
    [](const auto& info) { return std::string(info.param.name); });

// Each phase's text is on screen while the window handles its messages, so
// the user sees it during the scan rather than only the last one at the end.
TEST_F(ScanTest, EveryPhaseTextIsShownWhileTheScanRuns)
{
    Attach(1, nullptr);
    std::vector<std::string> seen;
    screen.onProcessMessages = [&] {
        if (seen.empty() || seen.back() != screen.Text("LabelST")) seen.push_back(screen.Text("LabelST"));
    };
    ComPortScan(session, port);
    EXPECT_EQ(seen, (std::vector<std::string>{"ждите, идет опрос COM портов...", "ждите, идет поиск устройств..."}));
}

TEST_F(ScanTest, TheWindowIsKeptAliveAroundEveryExchange)
{
    Attach(1, testing::TableResponder(testing::UnitAnswers()));
    ComPortScan(session, port);
    EXPECT_GE(screen.processed.load(), 5);  // window events handled around every exchange
    EXPECT_EQ(screen.Calls("show ImageW").size(), 5u);
    EXPECT_EQ(screen.Calls("hide ImageW").size(), 5u);
}

}  // namespace
}  // namespace tornavel
