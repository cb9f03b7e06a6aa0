// The program's serial layer against the simulator on real pseudo-terminals:
// the transaction, the modem probe, floods and a pulled cable, and the scan
// and full read over real lines.
#include <gtest/gtest.h>

#include <csignal>
#include <set>
#include <sstream>

#include "core/fakes.h"
#include "monitor/pollingloop.h"
#include "protocol/connection.h"
#include "protocol/scan.h"
#include "serial/comport.h"
#include "serial/posixport.h"
#include "session.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::UpssimProcess;

// Each byte a simulated port received, with what the simulator sent back
// before the next byte came, read from its byte log.
std::vector<std::pair<char, Bytes>> Exchanges(const UpssimProcess& sim, const std::string& port)
{
    std::istringstream lines(sim.log());
    std::string line;
    std::vector<std::pair<char, Bytes>> exchanges;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string ms, name, direction, hex;
        fields >> ms >> name >> direction;
        if (name != port) continue;
        if (direction == "<") {
            while (fields >> hex) exchanges.push_back({static_cast<char>(std::stoi(hex, nullptr, 16)), {}});
        } else if (direction == ">" && !exchanges.empty()) {
            while (fields >> hex) exchanges.back().second += static_cast<char>(std::stoi(hex, nullptr, 16));
        }
    }
    return exchanges;
}

Bytes WithoutLineEnd(const Bytes& answer)
{
    return answer.substr(0, answer.find('\r'));
}

struct Line {
    explicit Line(const UpssimProcess& sim) : opener(PortMap(sim.ports()), lockDir()) {}
    static std::string lockDir() { return ::testing::TempDir(); }
    PortHandle Open(int number) { return port.OpenPort(number, 2400, 8, 'N', "1"); }

    PosixPortOpener opener;
    SteadyClock clock;
    ComPort port{opener, clock};
};

TEST(ExchangeWithSimulator, SmartModeHandshakeAndBye)
{
    std::signal(SIGPIPE, SIG_IGN);
    UpssimProcess sim({"com1=ups"});
    Line line(sim);
    PortHandle handle = line.Open(1);
    ASSERT_TRUE(handle);
    Bytes answer;
    ASSERT_TRUE(line.port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "SM\r\n");
    ASSERT_TRUE(line.port.Transact(handle, "\x01", answer));
    EXPECT_EQ(answer, "Smart-UPS 1000\r\n");
    ASSERT_TRUE(line.port.Transact(handle, "R", answer));
    EXPECT_EQ(answer, "BYE\r\n");
    line.port.ClosePort(handle);
    EXPECT_EQ(sim.received("com1"), "Y\x01R");
}

TEST(ExchangeWithSimulator, ModemAnswersTheProbe)
{
    UpssimProcess sim({"com2=modem"});
    Line line(sim);
    PortHandle handle = line.Open(2);
    ASSERT_TRUE(handle);
    Bytes answer;
    ASSERT_TRUE(line.port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "Y");
    ASSERT_TRUE(line.port.Transact(handle, "atz\r\n", answer));
    EXPECT_EQ(answer, "atz\r\r\nOK\r\n");
}

TEST(ExchangeWithSimulator, SilentPortFailsAndKeepsTheAnswer)
{
    UpssimProcess sim({"com3=silent"});
    Line line(sim);
    PortHandle handle = line.Open(3);
    ASSERT_TRUE(handle);
    Bytes answer = "kept";
    EXPECT_FALSE(line.port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "kept");
}

TEST(ExchangeWithSimulator, GarbageFloodEndsEveryCollection)
{
    UpssimProcess sim({"com5=garbage"});
    Line line(sim);
    PortHandle handle = line.Open(5);
    ASSERT_TRUE(handle);
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(line.port.WritePort(handle, Bytes(1, static_cast<char>('A' + i))));
    Bytes collected;
    line.port.ReadUntilQuiet(handle, 1, collected);
    EXPECT_FALSE(collected.empty());
    EXPECT_LE(collected.size(), 4096u + 1024u);
}

TEST(ExchangeWithSimulator, PulledCableEndsCleanly)
{
    UpssimProcess sim({"--pull-after", "3", "com1=ups"});
    Line line(sim);
    PortHandle handle = line.Open(1);
    ASSERT_TRUE(handle);
    Bytes answer;
    EXPECT_TRUE(line.port.Transact(handle, "Y", answer));
    EXPECT_TRUE(line.port.Transact(handle, "Q", answer));
    answer = "kept";
    EXPECT_FALSE(line.port.Transact(handle, "P", answer));  // the third byte pulls the cable
    EXPECT_EQ(answer, "kept");
    EXPECT_FALSE(line.port.Transact(handle, "L", answer));
    EXPECT_EQ(line.port.InQueue(handle), 0);
    line.port.ClosePort(handle);
}

TEST(ExchangeWithSimulator, ScanAndFullReadOverRealLines)
{
    UpssimProcess sim({"com1=ups", "com2=modem", "com3=silent", "com4=ups2"});
    Line line(sim);
    testing::RecordingScreen screen;
    Session session(screen);
    testing::RecordingScanEvents events;
    ComPortScan(session, line.port, events);
    ASSERT_EQ(session.table.Count(), 4);
    EXPECT_EQ(session.table.Record(0).slot[kSlotModel], "Smart-UPS 1000");
    EXPECT_EQ(session.table.Record(1).slot[kSlotModel], "modem");
    EXPECT_EQ(session.table.Record(2).slot[kSlotModel], "-");
    EXPECT_EQ(session.table.Record(3).slot[kSlotModel], "Smart-UPS 700");
    EXPECT_EQ(events.lines.back(), "ended units=4 held=");

    ASSERT_TRUE(OpenAndRead(session, line.port, 4));
    EXPECT_EQ(session.table.Slot(kSlotName), "SRV_ROOM");
    EXPECT_EQ(session.table.Slot(kSlotRegister0), "B0");
    EXPECT_EQ(session.table.Slot(kSlotInputVolts).substr(0, 1), "2");
    CloseConnection(session, line.port);
    const std::string received = sim.received("com4");
    EXPECT_EQ(received.back(), 'R');
}

TEST(ExchangeWithSimulator, EveryAnswerLandsInItsOwnSlotAndField)
{
    UpssimProcess sim({"--steady", "com1=ups"});
    Line line(sim);
    testing::RecordingScreen screen;
    Session session(screen);
    testing::RecordingEvents heard;  // what the window is told to show
    session.events = &heard;
    testing::RecordingScanEvents events;
    ComPortScan(session, line.port, events);
    ASSERT_EQ(session.table.Count(), 1);
    const std::size_t beforeConnection = Exchanges(sim, "com1").size();
    ASSERT_TRUE(OpenAndRead(session, line.port, 1));

    // The handshake, then the thirty commands, each answer in its slot.
    const auto exchanges = Exchanges(sim, "com1");
    ASSERT_EQ(exchanges.size(), beforeConnection + 31);
    EXPECT_EQ(exchanges[beforeConnection].first, 'Y');
    const Bytes fullRead =
        "\x01"
        "cnmQP>xBgCjfkEsoluNMLOF970~'8";
    std::set<Bytes> distinct;
    for (int k = 1; k <= 30; ++k) {
        const auto& [command, answer] = exchanges[beforeConnection + static_cast<std::size_t>(k)];
        EXPECT_EQ(command, fullRead[static_cast<std::size_t>(k - 1)]) << "step " << k;
        EXPECT_EQ(session.table.Slot(k), WithoutLineEnd(answer)) << "slot " << k;
        distinct.insert(answer);
    }
    EXPECT_EQ(distinct.size(), 30u) << "the simulated unit's answers must all differ";
    EXPECT_EQ(heard.ConnectedRecord().slot, session.table.Record(0).slot);

    // One monitoring cycle: the rotating read and the five fast values.
    PollingLoop loop(session, line.port);
    const std::size_t beforeCycle = exchanges.size();
    loop.Pass();
    const auto cycle = Exchanges(sim, "com1");
    ASSERT_EQ(cycle.size(), beforeCycle + 6);
    const auto answerTo = [&](char command) {
        for (std::size_t i = beforeCycle; i < cycle.size(); ++i)
            if (cycle[i].first == command) return WithoutLineEnd(cycle[i].second);
        ADD_FAILURE() << "not sent: " << command;
        return Bytes();
    };
    EXPECT_EQ(cycle[beforeCycle].first, 'B');
    EXPECT_EQ(heard.Value(kSlotBatteryVolts), answerTo('B'));
    EXPECT_EQ(session.table.Slot(9), answerTo('B'));
    EXPECT_EQ(session.table.Slot(6), answerTo('P'));
    EXPECT_EQ(session.table.Slot(13), answerTo('f'));
    EXPECT_EQ(heard.Value(kSlotInputVolts), answerTo('L'));
    EXPECT_EQ(heard.Value(kSlotOutputVolts), answerTo('O'));
    EXPECT_NE(answerTo('L'), answerTo('O'));
    ASSERT_EQ(session.volts.voltCount(), 1);
    EXPECT_EQ(session.volts.Readings()[0].input, std::stoi(answerTo('L')));
    EXPECT_EQ(session.volts.Readings()[0].output, std::stoi(answerTo('O')));
    CloseConnection(session, line.port);
}

}  // namespace
}  // namespace tornavel
