// The transaction's timing rule and the serial operations, on a fake device
// and a virtual clock.
#include <gtest/gtest.h>

#include "fakes.h"
#include "serial/comport.h"

namespace tornavel {
namespace {

using testing::FakeClock;
using testing::FakeDevice;
using testing::FakeOpener;

struct ComPortTest : ::testing::Test {
    FakeClock clock;
    FakeOpener opener;
    ComPort port{opener, clock};
    std::shared_ptr<FakeDevice> device = std::make_shared<FakeDevice>(clock);
    PortHandle handle = device;
};

TEST_F(ComPortTest, PromptReplyIsTakenAtTheSecondSample)
{
    device->SetResponder([](const Bytes&) { return std::vector<FakeDevice::Reply>{{40, "SM\r\n"}}; });
    Bytes answer = "old";
    ASSERT_TRUE(port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "SM\r\n");
    EXPECT_EQ(clock.NowMs(), 200);
}

TEST_F(ComPortTest, SilenceFailsAfterFiveSamplesAndKeepsTheAnswer)
{
    Bytes answer = "kept";
    EXPECT_FALSE(port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "kept");
    EXPECT_EQ(clock.NowMs(), 500);
}

TEST_F(ComPortTest, GrowingAnswerIsWaitedForWithoutUsingTries)
{
    // 24 bytes per 100 ms for a second: ten samples with growth, then one without.
    device->SetResponder([](const Bytes&) {
        std::vector<FakeDevice::Reply> replies;
        for (int i = 0; i < 10; ++i) replies.push_back({50 + 100 * i, Bytes(24, 'a' + i)});
        return replies;
    });
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "?", answer));
    EXPECT_EQ(answer.size(), 240u);
    EXPECT_EQ(clock.NowMs(), 1100);
}

TEST_F(ComPortTest, LateFirstByteStillCounts)
{
    device->SetResponder([](const Bytes&) { return std::vector<FakeDevice::Reply>{{450, "OK\r\n"}}; });
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "A", answer));
    EXPECT_EQ(answer, "OK\r\n");
    EXPECT_EQ(clock.NowMs(), 600);
}

TEST_F(ComPortTest, BytesQueuedBeforeTheCommandHeadTheAnswer)
{
    device->Arrive(0, "!");
    device->SetResponder([](const Bytes&) { return std::vector<FakeDevice::Reply>{{30, "08\r\n"}}; });
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "Q", answer));
    EXPECT_EQ(answer, "!08\r\n");
}

TEST_F(ComPortTest, BytesAfterTheLastSampleStayForTheNextRead)
{
    device->SetResponder([](const Bytes&) { return std::vector<FakeDevice::Reply>{{30, "229.3\r\n"}, {250, "$"}}; });
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "L", answer));
    EXPECT_EQ(answer, "229.3\r\n");
    clock.Advance(100);
    EXPECT_EQ(port.InQueue(handle), 1);
}

TEST_F(ComPortTest, InvalidHandleTouchesNothing)
{
    PortHandle none;
    Bytes answer = "x";
    EXPECT_FALSE(port.Transact(none, "Y", answer));
    EXPECT_FALSE(port.WritePort(none, "Y"));
    EXPECT_EQ(port.InQueue(none), 0);
    EXPECT_EQ(port.WaitAnswer(none, 5), -1);
    port.ReadPort(none, 4, answer);
    EXPECT_EQ(answer, "");
    EXPECT_EQ(clock.NowMs(), 0);
}

TEST_F(ComPortTest, ReadPortOfNothingMakesNoRead)
{
    device->Arrive(0, "abc");
    Bytes text = "x";
    port.ReadPort(handle, 0, text);
    EXPECT_EQ(text, "");
    EXPECT_EQ(port.InQueue(handle), 3);
}

TEST_F(ComPortTest, EmptyCommandOnlyWaits)
{
    device->Arrive(120, "#");
    Bytes answer;
    ASSERT_TRUE(port.Transact(handle, "", answer));
    EXPECT_EQ(answer, "#");
    EXPECT_TRUE(device->Writes().empty());
}

TEST_F(ComPortTest, ReadUntilQuietCollectsUntilOneQuietSample)
{
    device->Arrive(50, "!");
    device->Arrive(150, "$");
    Bytes text;
    port.ReadUntilQuiet(handle, 1, text);
    EXPECT_EQ(text, "!$");
}

TEST_F(ComPortTest, ReadUntilQuietGoesOnAfterASampleWithoutGrowth)
{
    // Each burst is complete at a sample that sees no growth; the next one
    // starts within the following sample, so the collection goes on. Only a
    // sample with nothing waiting at all ends it.
    device->Arrive(50, "!");
    device->Arrive(250, "$");
    device->Arrive(450, "%");
    Bytes text;
    port.ReadUntilQuiet(handle, 1, text);
    EXPECT_EQ(text, "!$%");
    EXPECT_EQ(clock.NowMs(), 700);
}

struct ShortWriteCase {
    const char* name;
    Bytes command;
    long limit;  // bytes the write call takes
};

class ShortWrite : public ComPortTest, public ::testing::WithParamInterface<ShortWriteCase> {};

TEST_P(ShortWrite, FailsTheTransactionAtOnceWithoutWaiting)
{
    // The unit answers all the same: a transaction that went on to wait would
    // take that answer.
    device->Arrive(40, "SM\r\n");
    device->writeLimit = GetParam().limit;
    Bytes answer = "kept";
    EXPECT_FALSE(port.Transact(handle, GetParam().command, answer));
    EXPECT_EQ(answer, "kept");
    EXPECT_EQ(clock.NowMs(), 0);  // not one sample taken
    EXPECT_FALSE(port.WritePort(handle, GetParam().command));
    clock.Advance(100);
    EXPECT_EQ(port.InQueue(handle), 4);  // nothing was read
}

INSTANTIATE_TEST_SUITE_P(Table, ShortWrite,
                         ::testing::Values(ShortWriteCase{"nothingWritten", "Y", 0},
                                           ShortWriteCase{"partOfTheModemProbe", "atz\r\n", 3},
                                           ShortWriteCase{"allButTheLastByte", "atz\r\n", 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ComPortTest, WriteErrorFailsTheTransactionAtOnce)
{
    device->Arrive(40, "SM\r\n");
    device->Unplug();  // the write call reports an error
    Bytes answer = "kept";
    EXPECT_FALSE(port.Transact(handle, "Y", answer));
    EXPECT_EQ(clock.NowMs(), 0);
}

TEST_F(ComPortTest, ReadUntilQuietStopsOnANeverEndingFlood)
{
    for (int t = 0; t < 100000; t += 50) device->Arrive(t, Bytes(12, 'g'));
    Bytes text;
    port.ReadUntilQuiet(handle, 1, text);
    EXPECT_LE(clock.NowMs(), 2100);
    EXPECT_LE(text.size(), 4096u + 64u);
    EXPECT_FALSE(text.empty());
}

TEST_F(ComPortTest, UnpluggedDeviceGivesNeutralResults)
{
    device->Unplug();
    Bytes answer = "kept";
    EXPECT_FALSE(port.Transact(handle, "Y", answer));
    EXPECT_EQ(answer, "kept");
    EXPECT_EQ(port.InQueue(handle), 0);
}

struct LineCase {
    char parity;
    Bytes stopBits;
    Parity expectedParity;
    StopBits expectedStop;
};

class LineMapping : public ::testing::TestWithParam<LineCase> {};

TEST_P(LineMapping, OpenAppliesParityAndStopBits)
{
    FakeClock clock;
    FakeOpener opener;
    FakeDevice* device = nullptr;
    opener.ports[3] = [&] {
        auto d = std::make_unique<FakeDevice>(clock);
        device = d.get();
        return d;
    };
    ComPort port(opener, clock);
    auto handle = port.OpenPort(3, 2400, 8, GetParam().parity, GetParam().stopBits);
    ASSERT_TRUE(handle);
    ASSERT_EQ(FakeDevice::kDriverDefaults.baud, 9600u);  // the fake starts from other settings
    ASSERT_EQ(FakeDevice::kDriverDefaults.dataBits, 7);
    EXPECT_EQ(port.portName(), "COM3");
    EXPECT_EQ(device->applied().baud, 2400u);
    EXPECT_EQ(device->applied().dataBits, 8);
    EXPECT_EQ(device->applied().parity, GetParam().expectedParity);
    EXPECT_EQ(device->applied().stopBits, GetParam().expectedStop);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LineMapping,
    ::testing::Values(LineCase{'N', "1", Parity::None, StopBits::One}, LineCase{'E', "1", Parity::Even, StopBits::One},
                      LineCase{'O', "2", Parity::Odd, StopBits::Two},
                      LineCase{'M', "1.5", Parity::Mark, StopBits::OneAndHalf},
                      LineCase{'e', "", Parity::None, StopBits::One},      // only upper case selects a parity
                      LineCase{'S', "1.50", Parity::None, StopBits::One},  // no space parity; "1.50" is not "1.5"
                      LineCase{'o', "2.0", Parity::None, StopBits::One}));

TEST(OpenPort, AbsentPortGivesTheInvalidHandle)
{
    FakeClock clock;
    FakeOpener opener;
    ComPort port(opener, clock);
    EXPECT_FALSE(port.OpenPort(7, 2400, 8, 'N', "1"));
    EXPECT_EQ(port.portName(), "COM7");
}

TEST(OpenPort, UnreadableSettingsLeaveThePortOpenButUnconfigured)
{
    FakeClock clock;
    FakeOpener opener;
    FakeDevice* device = nullptr;
    opener.ports[1] = [&] {
        auto d = std::make_unique<FakeDevice>(clock);
        d->failReadSettings = true;
        device = d.get();
        return d;
    };
    ComPort port(opener, clock);
    const PortHandle handle = port.OpenPort(1, 2400, 8, 'N', "1");
    ASSERT_TRUE(handle);
    EXPECT_TRUE(device->Events().empty());  // no settings applied
}

}  // namespace
}  // namespace tornavel
