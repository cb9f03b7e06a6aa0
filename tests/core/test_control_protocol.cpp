// The control socket's words and lines: any unit text survives the trip as
// one word, a malformed word is refused, an outcome reads back as it was
// written, and a line is read only up to its bound.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include "control/controlprotocol.h"
#include "control/linesocket.h"

namespace tornavel::control {
namespace {

TEST(ControlProtocol, AnyTextTravelsAsOneWordAndBack)
{
    for (const Bytes& text :
         {Bytes(), Bytes("ON "), Bytes("a%b"), Bytes("ab\0\0", 4), Bytes("\r\n\xC8\xFF"), Bytes("Smart-UPS 1000")}) {
        const std::string word = Escape(text);
        EXPECT_EQ(SplitWords("x " + word + " y").size(), 3u) << word;
        EXPECT_EQ(Unescape(word), text) << word;
    }
}

TEST(ControlProtocol, MalformedWordsAreRefused)
{
    for (const char* word : {"%4", "ab%", "%G0", "%%"}) EXPECT_FALSE(Unescape(word).has_value()) << word;
}

TEST(ControlProtocol, AnOutcomeReadsBackAsWritten)
{
    SettingOutcome outcome;
    outcome.status = SettingOutcome::Status::NotOffered;
    outcome.steps = 3;
    outcome.before = "ON ";
    outcome.after = "ON ";
    outcome.offered = {"ON ", "OFF", ""};
    const auto back = ParseOutcomeLine(OutcomeLine(outcome));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->status, outcome.status);
    EXPECT_EQ(back->steps, 3);
    EXPECT_EQ(back->before, "ON ");
    EXPECT_EQ(back->offered, outcome.offered);
    EXPECT_FALSE(ParseOutcomeLine("outcome exploded 1 a b").has_value());
    EXPECT_FALSE(ParseOutcomeLine("outcome changed x a b").has_value());
}

TEST(ControlProtocol, OnlyTheTestCommandsAreTests)
{
    for (const char* test : {"A", "W", "U", "D"}) EXPECT_TRUE(IsTestCommand(test)) << test;
    for (const char* other : {"R", "S", "K", "@", "1", "AW", ""}) EXPECT_FALSE(IsTestCommand(other)) << other;
}

}  // namespace
}  // namespace tornavel::control

namespace tornavel::control {
namespace {

// Lines are read up to a bound: a longer one, or a peer that goes away
// half-way, gives nothing rather than a growing buffer or a wait.
TEST(ControlLines, ALineLongerThanTheBoundOrUnfinishedIsRefused)
{
    int ends[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ASSERT_TRUE(WriteLine(ends[0], std::string(8, 'x')));
    ASSERT_TRUE(WriteLine(ends[0], std::string(9, 'y')));
    EXPECT_EQ(ReadLine(ends[1], 8), std::string(8, 'x'));
    EXPECT_FALSE(ReadLine(ends[1], 8).has_value());
    ::close(ends[1]);
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
    ASSERT_EQ(::write(ends[0], "half", 4), 4);
    ::close(ends[0]);
    EXPECT_FALSE(ReadLine(ends[1], 8).has_value());
    ::close(ends[1]);
}

}  // namespace
}  // namespace tornavel::control
