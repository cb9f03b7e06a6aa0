// Finding the units: which ports exist, what answers on each, and what the
// scan reports (the window's texts for it are the scan presenter's tests).
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
    testing::RecordingScanEvents events;

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

TEST_F(ScanTest, SilentPortAndUnitAreIdentifiedAndReportedInOrder)
{
    Attach(1, nullptr);  // a port that never answers
    Attach(4, testing::TableResponder(testing::UnitAnswers()));
    ComPortScan(session, port, events);
    EXPECT_EQ(events.lines, (std::vector<std::string>{"started", "identifying", "ended units=2 held="}));
    ASSERT_EQ(session.table.Count(), 2);
    EXPECT_EQ(session.table.Record(0).port, 1);
    EXPECT_EQ(Slot(0, kSlotModel), "-");
    EXPECT_EQ(session.table.Record(1).port, 4);
    EXPECT_EQ(Slot(1, kSlotModel), "Smart-UPS 1000");
    EXPECT_EQ(Slot(1, kSlotSerial), "QS0512345678");
    EXPECT_EQ(Slot(1, kSlotMadeDate), "12/03/05");
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
    ComPortScan(session, port, events);
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
    ComPortScan(session, port, events);
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
    ComPortScan(session, port, events);
    EXPECT_EQ(Slot(0, kSlotModel), GetParam().mark);
}

INSTANTIATE_TEST_SUITE_P(Table, ModemProbe,
                         ::testing::Values(ModemCase{"atz\r\r\nok\r\n", "modem"},
                                           ModemCase{"ATZ\r\r\nOK\r\n", "modem"},  // capitals match too
                                           ModemCase{"atz\r\nok\r\n", "-"},
                                           ModemCase{"", "-"},  // echoes "Y" but ignores atz
                                           ModemCase{"atz\r\r\nok\r\nx", "-"}));

TEST_F(ScanTest, GarbageAnswerCountsAsAUnitAndFillsWhatTheFilterLeaves)
{
    Attach(5, [](const Bytes& cmd) {
        std::vector<FakeDevice::Reply> r;
        if (cmd == "Y") r.push_back({20, Bytes("\xff\x00zz\r\n", 6)});
        if (cmd == "n") r.push_back({20, "#\r\nAB\r\n"});
        return r;
    });
    ComPortScan(session, port, events);
    EXPECT_EQ(Slot(0, kSlotModel), "");  // no answer to Ctrl+A: empty, not the "Y" leftover
    EXPECT_EQ(Slot(0, kSlotSerial), "AB");
    EXPECT_EQ(events.lines.back(), "ended units=1 held=");
}

TEST_F(ScanTest, UnitThatAnswersYButNotCtrlAGetsAnEmptyModel)
{
    Attach(1, [](const Bytes& cmd) {
        std::vector<FakeDevice::Reply> r;
        if (cmd == "Y") r.push_back({20, "SM\r\n"});
        return r;
    });
    ComPortScan(session, port, events);
    EXPECT_EQ(Slot(0, kSlotModel), "");
}

TEST_F(ScanTest, PortTakenBeforeTheSecondPassKeepsAnEmptyRow)
{
    int opens = 0;
    opener.ports[2] = [&]() -> std::unique_ptr<SerialDevice> {
        if (++opens > 1) return nullptr;
        return std::make_unique<FakeDevice>(clock);
    };
    ComPortScan(session, port, events);
    ASSERT_EQ(session.table.Count(), 1);
    EXPECT_EQ(Slot(0, kSlotModel), "");
    EXPECT_EQ(events.lines.back(), "ended units=1 held=");
}

TEST_F(ScanTest, NoPortAtAll)
{
    ComPortScan(session, port, events);
    EXPECT_EQ(session.table.Count(), 0);
    EXPECT_EQ(events.lines, (std::vector<std::string>{"started", "ended units=0 held="}));
}

// Ports held by others, reported when the scan ends and never listed.
struct BusyCase {
    const char* name;
    std::map<int, LockHolder> holders;
    bool freePort;  // COM5, silent
    const char* ended;
};

class BusyPorts : public ScanTest, public ::testing::WithParamInterface<BusyCase> {};

TEST_P(BusyPorts, AreReportedWithTheirHolder)
{
    opener.holders = GetParam().holders;
    if (GetParam().freePort) Attach(5, nullptr);
    ComPortScan(session, port, events);
    EXPECT_EQ(events.lines.back(), GetParam().ended);
    EXPECT_EQ(session.table.Count(), GetParam().freePort ? 1 : 0);  // a held port is never listed
}

INSTANTIATE_TEST_SUITE_P(Table, BusyPorts,
                         ::testing::Values(BusyCase{"HeldBesideAFreePort",
                                                    {{1, {4242, "tornavel-monitor"}}},
                                                    true,
                                                    "ended units=1 held=COM1:tornavel-monitor:4242"},
                                           BusyCase{"OnlyHeldPorts",
                                                    {{2, {7, "minicom"}}, {3, {8, ""}}},
                                                    false,
                                                    "ended units=0 held=COM2:minicom:7,COM3::8"},
                                           BusyCase{"NoneHeld", {}, true, "ended units=1 held="}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ScanTest, TheWindowIsKeptAliveAroundEveryExchange)
{
    Attach(1, testing::TableResponder(testing::UnitAnswers()));
    ComPortScan(session, port, events);
    EXPECT_GE(screen.processed.load(), 5);  // window events handled around every exchange
    EXPECT_EQ(events.busyShown, 5);         // a user waits on every one
    EXPECT_EQ(events.busyHidden, 5);
}

}  // namespace
}  // namespace tornavel
