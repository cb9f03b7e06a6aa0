// The UPS simulator seen from the program's end of its ports. Plain POSIX
// only: the simulator must stand on its own, so no program code is used here.
#include <gtest/gtest.h>

#include "upssim_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::string_literals;
namespace fs = std::filesystem;

// How long "nothing comes" is watched for: many times the simulator's answer delay.
constexpr int kQuietMs = 300;

using tornavel::testing::kPatienceMs;
using tornavel::testing::readAvailable;
using Simulator = tornavel::testing::UpssimProcess;

// The program's end of a port, opened raw the way the program opens it.
class Port {
public:
    explicit Port(const std::string& path) : fd_(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK))
    {
        if (fd_ < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
        termios settings{};
        ::tcgetattr(fd_, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Port() { ::close(fd_); }
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;

    void send(const std::string& bytes) { ASSERT_EQ(::write(fd_, bytes.data(), bytes.size()), ssize_t(bytes.size())); }

    // Reads until `end` has come (or patience runs out); what came with it stays in the result.
    std::string readUntil(const std::string& end)
    {
        std::string bytes;
        while (bytes.find(end) == std::string::npos && waitForInput(kPatienceMs)) bytes += readAvailable(fd_);
        return bytes;
    }

    // Everything that arrives within the given time.
    std::string readFor(int ms)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        std::string bytes;
        for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
            if (waitForInput(
                    static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(until - now).count())))
                bytes += readAvailable(fd_);
        }
        return bytes;
    }

    std::string ask(const std::string& command)
    {
        send(command);
        return readUntil("\r\n");
    }

    // True once the far end has gone (cable pulled).
    bool hungUp()
    {
        pollfd fd{fd_, POLLIN, 0};
        return ::poll(&fd, 1, kPatienceMs) > 0 && (fd.revents & POLLHUP);
    }

private:
    bool waitForInput(int ms)
    {
        pollfd fd{fd_, POLLIN, 0};
        return ::poll(&fd, 1, ms) > 0 && (fd.revents & POLLIN);
    }

    int fd_;
};

void enterProgrammingMode(Port& port)
{
    port.send("1");
    std::this_thread::sleep_for(std::chrono::milliseconds(2000));
    ASSERT_EQ(port.ask("1"), "PROG\r\n");
}

// --- every command the program reads ------------------------------------------

struct UnitAnswers {
    const char* kind;
    std::vector<std::pair<std::string, std::string>> answers;  // command, answer without CR LF
};

class UpssimUnitAnswers : public testing::TestWithParam<UnitAnswers> {};

TEST_P(UpssimUnitAnswers, AnswersEachCommandWithItsValueLine)
{
    Simulator sim({"--steady", "com1="s + GetParam().kind});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");
    for (const auto& [command, answer] : GetParam().answers) {
        SCOPED_TRACE("command " + command);
        EXPECT_EQ(port.ask(command), answer + "\r\n");
    }
}

// The full read's thirty commands in its order, then what else a terminal may send.
INSTANTIATE_TEST_SUITE_P(Kinds, UpssimUnitAnswers,
                         testing::Values(UnitAnswers{"ups",
                                                     {{"\x01", "Smart-UPS 1000"},
                                                      {"c", "UPS_IDEN"},
                                                      {"n", "QS0512345678"},
                                                      {"m", "12/03/05"},
                                                      {"Q", "08"},
                                                      {"P", "023.4"},
                                                      {">", "000"},
                                                      {"x", "14/06/11"},
                                                      {"B", "27.45"},
                                                      {"g", "024"},
                                                      {"C", "031.5"},
                                                      {"j", "0042:"},
                                                      {"f", "100.0"},
                                                      {"k", "0"},
                                                      {"E", "336"},
                                                      {"s", "H"},
                                                      {"o", "230"},
                                                      {"l", "196"},
                                                      {"u", "253"},
                                                      {"N", "227.5"},
                                                      {"M", "231.4"},
                                                      {"L", "229.3"},
                                                      {"O", "228.1"},
                                                      {"F", "50.00"},
                                                      {"9", "FF"},
                                                      {"7", "0F"},
                                                      {"0", "A0"},
                                                      {"~", "01"},
                                                      {"'", "04"},
                                                      {"8", "10"},
                                                      {"Y", "SM"},
                                                      {"z", "NA"},
                                                      {"\0"s, "NA"},
                                                      {"\xff", "NA"},
                                                      {"\r", "NA"}}},
                                         UnitAnswers{"ups2",
                                                     {{"\x01", "Smart-UPS 700"},
                                                      {"c", "SRV_ROOM"},
                                                      {"n", "NS9907654321"},
                                                      {"m", "21/09/99"},
                                                      {"Q", "08"},
                                                      {"x", "04/11/03"},
                                                      {"k", "T"},
                                                      {"E", "168"},
                                                      {"l", "188"},
                                                      {"u", "257"},
                                                      {"L", "226.8"},
                                                      {"O", "225.9"},
                                                      {"0", "B0"},
                                                      {"~", "02"},
                                                      {"'", "00"},
                                                      {"8", "10"}}}),
                         [](const auto& info) { return std::string(info.param.kind); });

TEST(UpssimUps, IsDumbUntilYAgainAfterRAndOnEveryNewOpen)
{
    Simulator sim({"com1=ups"});
    {
        Port port(sim.port("com1"));
        port.send("Q1\x01");
        EXPECT_EQ(port.readFor(kQuietMs), "");
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
        EXPECT_EQ(port.ask("R"), "BYE\r\n");
        port.send("QR");
        EXPECT_EQ(port.readFor(kQuietMs), "");
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
    }
    Port reopened(sim.port("com1"));
    reopened.send("Q");
    EXPECT_EQ(reopened.readFor(kQuietMs), "");
}

// --- settings, fields, registers ------------------------------------------------

struct Stepped {
    const char* command;
    std::vector<std::string> cycle;  // from the factory value on
};

class UpssimSteppedSetting : public testing::TestWithParam<Stepped> {};

TEST_P(UpssimSteppedSetting, PlusAndMinusWalkTheCyclicListAndEachWriteIsAnnounced)
{
    const std::string command = GetParam().command;
    const std::vector<std::string>& cycle = GetParam().cycle;
    Simulator sim({"com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");

    // "|" comes unasked after each write, before or after later answers.
    std::string announced;
    auto answerOf = [&](const std::string& sent) {
        std::string answer = port.ask(sent);
        const auto alerts = std::remove(answer.begin(), answer.end(), '|');
        announced.append(static_cast<size_t>(answer.end() - alerts), '|');
        answer.erase(alerts, answer.end());
        return answer;
    };
    EXPECT_EQ(answerOf(command), cycle[0] + "\r\n");
    for (size_t step = 1; step <= cycle.size(); ++step) {
        EXPECT_EQ(answerOf("+"), "OK\r\n");
        EXPECT_EQ(answerOf(command), cycle[step % cycle.size()] + "\r\n") << "after " << step << " steps up";
    }
    EXPECT_EQ(answerOf("-"), "OK\r\n");
    EXPECT_EQ(answerOf(command), cycle.back() + "\r\n");

    const size_t writes = cycle.size() + 1;
    while (announced.size() < writes) {
        const std::string more = port.readUntil("|");
        if (more.empty()) break;
        announced += more;
    }
    EXPECT_EQ(announced, std::string(writes, '|'));
}

INSTANTIATE_TEST_SUITE_P(Settings, UpssimSteppedSetting,
                         testing::Values(Stepped{"k", {"0", "T", "L", "N"}}, Stepped{"E", {"336", "168", "ON ", "OFF"}},
                                         Stepped{"s", {"H", "M", "L"}}, Stepped{"o", {"230", "240", "220", "225"}},
                                         Stepped{"l", {"196", "204", "208", "188"}},
                                         Stepped{"u", {"253", "257", "261", "265"}}),
                         [](const auto& info) { return std::string(info.param.command); });

TEST(UpssimUps, TextFieldsTakeTheirBytesOneByOneAndAnswerWithoutTrailingZeros)
{
    struct Write {
        std::string field, bytes, readBack;
    };
    const Write writes[] = {
        {"c", "AB\0\0\0\0\0\0"s, "AB"},
        {"c", "A\0B\0\0\0\0\0"s, "A\0B"s},
        {"x", "01/02/03", "01/02/03"},
        {"m", "31/12/99", "31/12/99"},
        {"n", "SN42\0\0\0\0\0\0\0\0\0\0"s, "SN42"},
        {"n", "ABCDEFGHIJKLMN", "ABCDEFGHIJKLMN"},
    };
    Simulator sim({"com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");

    // Outside programming mode the factory fields refuse to be written.
    EXPECT_EQ(port.ask("m"), "12/03/05\r\n");
    EXPECT_EQ(port.ask("+"), "NO\r\n");
    EXPECT_EQ(port.ask("n"), "QS0512345678\r\n");
    EXPECT_EQ(port.ask("+"), "NO\r\n");

    enterProgrammingMode(port);
    for (const Write& w : writes) {
        SCOPED_TRACE("field " + w.field);
        port.ask(w.field);
        port.send("+");
        port.send(w.bytes.substr(0, w.bytes.size() - 1));
        EXPECT_EQ(port.readFor(kQuietMs), "") << "nothing until the field is complete";
        EXPECT_EQ(port.ask(w.bytes.substr(w.bytes.size() - 1)), "OK\r\n");
        EXPECT_EQ(port.ask(w.field), w.readBack + "\r\n");
    }
}

TEST(UpssimUps, RegisterZeroStepsOnlyInProgrammingModeEnteredByOneWaitOne)
{
    Simulator sim({"com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");
    EXPECT_EQ(port.ask("0"), "A0\r\n");
    EXPECT_EQ(port.ask("+"), "NO\r\n");

    port.send("11");  // the second "1" comes too soon: no programming mode, it starts a new wait
    EXPECT_EQ(port.readFor(kQuietMs), "");
    enterProgrammingMode(port);

    // Inside programming mode "0" selects the register and is not answered.
    auto stepRegister = [&](const std::string& direction, int times) {
        for (int i = 0; i < times; ++i) {
            port.send("0");
            port.send(direction);
        }
        EXPECT_EQ(port.readFor(kQuietMs), "") << "neither the select nor the step is answered";
    };
    auto leaveAndRead = [&] {
        EXPECT_EQ(port.ask("R"), "BYE\r\n");
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
        return port.ask("0");
    };
    stepRegister("+", 3);
    EXPECT_EQ(leaveAndRead(), "A3\r\n");
    enterProgrammingMode(port);
    stepRegister("-", 4);
    EXPECT_EQ(leaveAndRead(), "9F\r\n");
    EXPECT_EQ(port.ask("+"), "NO\r\n") << "programming mode ended with R";
}

// --- status, tests and events -----------------------------------------------------

TEST(UpssimUps, EventsSendTheirAlertAndChangeTheStatusByte)
{
    struct Case {
        const char* event;
        std::string alert;
        const char* status;
    };
    const Case cases[] = {
        {"mains-fail", "!", "10"},      {"mains-ok", "$", "08"},
        {"battery-low", "%", "48"},     {"battery-ok", "+", "08"},
        {"replace-battery", "#", "88"}, {"battery-replaced", "", "08"},
        {"overload", "?", "28"},        {"overload-end", "=", "08"},
        {"shutdown", "*", "08"},        {"send A\\x01\\r\\n", "A\x01\r\n", "08"},
    };
    Simulator sim({"--steady", "com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.event);
        sim.event("com1 "s + c.event);
        if (!c.alert.empty()) {
            EXPECT_EQ(port.readUntil(c.alert), c.alert);
        }
        EXPECT_EQ(port.ask("Q"), c.status + "\r\n"s);
    }

    sim.event("com1 mains-fail");
    EXPECT_EQ(port.readUntil("!"), "!");
    EXPECT_EQ(port.ask("L"), "000.0\r\n");
    sim.event("com1 mains-ok");
    EXPECT_EQ(port.readUntil("$"), "$");
    EXPECT_EQ(port.ask("L"), "229.3\r\n");

    sim.event("com1 set Q 0a");
    EXPECT_EQ(port.ask("Q"), "0a\r\n");
    sim.event("com1 unset Q");
    EXPECT_EQ(port.ask("Q"), "08\r\n");
}

TEST(UpssimUps, TestCommandsAreAcknowledgedAndShowInTheStatus)
{
    Simulator sim({"com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");
    EXPECT_EQ(port.ask("A"), "OK\r\n");

    port.send("U");
    EXPECT_EQ(port.readUntil("!"), "OK\r\n!") << "the simulated failure is announced at once";
    EXPECT_EQ(port.ask("Q"), "10\r\n");
    EXPECT_EQ(port.readUntil("$"), "$") << "and its end a few seconds later";
    EXPECT_EQ(port.ask("Q"), "08\r\n");

    EXPECT_EQ(port.ask("D"), "OK\r\n");
    EXPECT_EQ(port.ask("Q"), "09\r\n");
    EXPECT_EQ(port.ask("D"), "OK\r\n");
    EXPECT_EQ(port.ask("Q"), "08\r\n");

    EXPECT_EQ(port.ask("W"), "OK\r\n");
    EXPECT_EQ(port.ask("Q"), "10\r\n");

    sim.event("com1 mains-fail");
    EXPECT_EQ(port.readUntil("!"), "!");
    EXPECT_EQ(port.ask("U"), "NO\r\n");
}

// --- the other kinds of device ------------------------------------------------------

struct Reply {
    const char* kind;
    std::string sent;
    std::string expected;  // exact reply; "?" stands for any reply that is not empty and not "Y"
};

class UpssimOtherDevice : public testing::TestWithParam<Reply> {};

TEST_P(UpssimOtherDevice, RepliesAsItsKindDoes)
{
    Simulator sim({"com1="s + GetParam().kind});
    Port port(sim.port("com1"));
    port.send(GetParam().sent);
    const std::string reply = port.readFor(kQuietMs);
    if (GetParam().expected == "?") {
        EXPECT_FALSE(reply.empty());
        EXPECT_NE(reply, "Y");
    } else {
        EXPECT_EQ(reply, GetParam().expected);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, UpssimOtherDevice,
                         testing::Values(Reply{"modem", "Y", "Y"}, Reply{"modem", "atz\r\n", "atz\r\r\nOK\r\n"},
                                         Reply{"modem", "YATZ\r\n", "YATZ\r\r\nOK\r\n"}, Reply{"silent", "Y", ""},
                                         Reply{"silent", "atz\r\n", ""}, Reply{"garbage", "Y", "?"}));

// --- the line -----------------------------------------------------------------------

TEST(UpssimLine, LogHasEveryReceivedByteAndEveryAnswerInOrder)
{
    Simulator sim({"com1=ups"});
    Port port(sim.port("com1"));
    ASSERT_EQ(port.ask("Y"), "SM\r\n");
    ASSERT_EQ(port.ask("Q"), "08\r\n");

    std::vector<std::string> lines;
    const std::regex traffic(R"(^(\d+\.\d) com1 ([<>]) (.*)$)");
    std::istringstream log(sim.log());
    double previous = 0;
    for (std::string line; std::getline(log, line);) {
        std::smatch match;
        if (!std::regex_match(line, match, traffic)) continue;
        EXPECT_GE(std::stod(match[1]), previous) << line;
        previous = std::stod(match[1]);
        lines.push_back(match[2].str() + " " + match[3].str());
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"< 59", "> 53 4D 0D 0A", "< 51", "> 30 38 0D 0A"}));
}

TEST(UpssimLine, NothingIsKeptForAPortNobodyHolds)
{
    Simulator sim({"com1=ups"});
    {
        Port port(sim.port("com1"));
        ASSERT_EQ(port.ask("Y"), "SM\r\n");
    }
    ASSERT_TRUE(sim.waitForLog("com1 * closed"));
    sim.event("com1 mains-fail");
    sim.event("com1 send late");
    ASSERT_TRUE(sim.waitForLog("com1 * event send late"));
    Port reopened(sim.port("com1"));
    EXPECT_EQ(reopened.readFor(kQuietMs), "");
    EXPECT_NE(sim.log().find("com1 x 21\n"), std::string::npos) << "the alert was dropped";
}

TEST(UpssimLine, DropDelayAndGarbageFaultsShapeTheAnswers)
{
    Simulator sim(
        {"--steady", "--drop", "com1:2", "--delay=com2:300", "--garbage-in=com3", "com1=ups", "com2=ups", "com3=ups"});
    {
        Port port(sim.port("com1"));
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
        port.send("Q");
        EXPECT_EQ(port.readFor(kQuietMs), "") << "the second answer is dropped";
        EXPECT_EQ(port.ask("Q"), "08\r\n");
    }
    {
        Port port(sim.port("com2"));
        const auto sent = std::chrono::steady_clock::now();
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
        EXPECT_GE(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(300));
    }
    {
        // Garbage comes on top of the answer: the answer is still all there, in order.
        auto holdsInOrder = [](const std::string& received, const std::string& answer) {
            size_t at = 0;
            for (char c : received)
                if (at < answer.size() && c == answer[at]) ++at;
            return at == answer.size();
        };
        Port port(sim.port("com3"));
        const std::pair<std::string, std::string> exchanges[] = {
            {"Y", "SM\r\n"}, {"L", "229.3\r\n"}, {"A", "OK\r\n"}, {"\x01", "Smart-UPS 1000\r\n"}, {"Q", "08\r\n"}};
        for (int round = 0; round < 4; ++round) {
            for (const auto& [command, answer] : exchanges) {
                const std::string received = port.ask(command);
                SCOPED_TRACE(received);
                EXPECT_TRUE(received.ends_with("\r\n"));
                EXPECT_TRUE(holdsInOrder(received, answer));
                EXPECT_GE(received.size(), answer.size() + 1);
                EXPECT_LE(received.size(), answer.size() + 3);
                EXPECT_EQ(received.find_first_of("!$%+?=*#|"), std::string::npos);
                if (answer == "OK\r\n") {
                    EXPECT_TRUE(received.ends_with(answer)) << "an acknowledgement stays whole";
                }
            }
        }
    }
}

TEST(UpssimLine, PulledCableHangsUpTheProgramAndPlugBringsThePortBack)
{
    Simulator sim({"--pull-after", "3", "com1=ups"});
    {
        Port port(sim.port("com1"));
        EXPECT_EQ(port.ask("Y"), "SM\r\n");
        EXPECT_EQ(port.ask("Q"), "08\r\n");
        port.send("Q");
        EXPECT_TRUE(port.hungUp());
        EXPECT_FALSE(fs::exists(fs::symlink_status(sim.port("com1"))));
    }
    sim.event("com1 plug");
    EXPECT_TRUE(sim.readStdoutLine().starts_with("com1 -> /dev/pts/"));
    Port port(sim.port("com1"));
    EXPECT_EQ(port.ask("Y"), "SM\r\n");

    sim.event("com1 unplug");
    EXPECT_TRUE(port.hungUp());
}

TEST(UpssimLine, BadEventsAreReportedAndTheEndOfEventsIsNotTheEnd)
{
    Simulator sim({"com1=ups", "com2=modem"});
    sim.event("com1 no-such-event");
    sim.event("com9 mains-fail");
    sim.event("com2 mains-fail");
    sim.event("com1 send \\xZZ");
    sim.closeEvents();
    Port port(sim.port("com1"));
    EXPECT_EQ(port.ask("Y"), "SM\r\n");

    const std::string errors = sim.errorLines(4);
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 4) << errors;

    EXPECT_EQ(sim.stop(), 0);
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.port("com1"))));
    EXPECT_FALSE(fs::exists(fs::symlink_status(sim.port("com2"))));
}

}  // namespace
