// The program's serial layer against the simulator on real pseudo-terminals:
// the transaction, the modem probe, floods and a pulled cable, and the scan
// and full read over real lines.
#include <gtest/gtest.h>

#include <csignal>

#include "core/fakes.h"
#include "protocol/connection.h"
#include "protocol/scan.h"
#include "serial/comport.h"
#include "serial/posixport.h"
#include "session.h"
#include "upssim_process.h"

namespace tornavel {
namespace {

using testing::UpssimProcess;

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
    ComPortScan(session, line.port);
    ASSERT_EQ(session.table.Count(), 4);
    EXPECT_EQ(session.table.Record(0).slot[kSlotModel], "Smart-UPS 1000");
    EXPECT_EQ(session.table.Record(1).slot[kSlotModel], "modem");
    EXPECT_EQ(session.table.Record(2).slot[kSlotModel], "-");
    EXPECT_EQ(session.table.Record(3).slot[kSlotModel], "Smart-UPS 700");
    EXPECT_EQ(screen.Text("LabelST"), "ready");

    ASSERT_TRUE(OpenAndRead(session, line.port, 4));
    EXPECT_EQ(session.table.Slot(kSlotName), "SRV_ROOM");
    EXPECT_EQ(session.table.Slot(kSlotRegister0), "B0");
    EXPECT_EQ(session.table.Slot(kSlotInputVolts).substr(0, 1), "2");
    CloseConnection(session, line.port);
    const std::string received = sim.received("com4");
    EXPECT_EQ(received.back(), 'R');
}

}  // namespace
}  // namespace tornavel
