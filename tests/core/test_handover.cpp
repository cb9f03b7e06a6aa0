// Requests handed between the window and the polling thread: every state the
// other thread could see between two stores of a hand-over, watched one
// write at a time.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "fakes.h"
#include "session.h"
#include "settings/changestore.h"
#include "settings/changewriter.h"
#include "write_watch.h"

namespace tornavel {
namespace {

using testing::PageHome;
using testing::WriteWatch;

// One write into the requests' page and what the polling thread would
// conclude right after it.
struct Step {
    const void* address;
    bool changeWaiting;
    bool commandWaiting;
};

struct HandOverTest : ::testing::Test {
    void SetUp() override
    {
        if (!testing::kCanWatchWrites) GTEST_SKIP() << "watching single writes needs x86-64 Linux without a sanitizer";
        steps.reserve(4096);  // the watch may not allocate
    }
    // Runs `action` with every write into the requests' page watched.
    template <typename Action>
    void Watch(Action action)
    {
        Requests& r = session->requests;
        {
            WriteWatch watch(&r.eepromChange, [this, &r](const void* address) {
                if (steps.size() < steps.capacity()) steps.push_back({address, ChangeWaiting(r), r.cmdPending.load()});
            });
            action();
        }
        ASSERT_LT(steps.size(), steps.capacity());
    }
    // The steps that wrote the given flag.
    std::size_t WritesTo(const void* flag) const
    {
        return static_cast<std::size_t>(
            std::count_if(steps.begin(), steps.end(), [&](const Step& s) { return s.address == flag; }));
    }

    testing::RecordingScreen screen;
    PageHome<Session> session{screen};
    std::vector<Step> steps;
};

bool SamePage(const void* a, const void* b)
{
    const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    return reinterpret_cast<std::uintptr_t>(a) / page == reinterpret_cast<std::uintptr_t>(b) / page;
}

TEST_F(HandOverTest, CompletionNeverShowsThePerformedChangeAsNew)
{
    Requests& r = session->requests;
    ASSERT_TRUE(SamePage(&r.eepromChange, &r.changeDone));
    session->table.Add(1);
    session->table.SetApcIndex(0);
    r.PostChange("k", "+");
    r.changeAnswer.Set("T\r\n");
    r.changeDone.store(true);  // as the writer leaves it
    ASSERT_FALSE(ChangeWaiting(r));

    Watch([&] { CompleteChange(*session); });

    // Both flags come down, and after no single write would the thread take
    // the request it has performed as a new one.
    EXPECT_EQ(WritesTo(&r.eepromChange), 1u);
    EXPECT_EQ(WritesTo(&r.changeDone), 1u);
    for (const Step& step : steps) EXPECT_FALSE(step.changeWaiting);
    EXPECT_FALSE(r.eepromChange);
    EXPECT_FALSE(r.changeDone);
}

TEST_F(HandOverTest, AChangeIsVisibleOnlyOnceItsTextsAreWritten)
{
    Requests& r = session->requests;
    ASSERT_TRUE(SamePage(&r.eepromChange, &r.changeValue));
    r.changeDone.store(true);  // left from the request before
    Watch([&] { r.PostChange("u", "-"); });

    // The request shows as waiting from its last write on, not before.
    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().address, &r.eepromChange);
    EXPECT_TRUE(steps.back().changeWaiting);
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) EXPECT_FALSE(steps[i].changeWaiting) << i;
    EXPECT_EQ(r.changeCmd.Get(), "u");
    EXPECT_EQ(r.changeValue.Get(), "-");
}

TEST_F(HandOverTest, ATestCommandIsVisibleOnlyOnceItsTextIsWritten)
{
    Requests& r = session->requests;
    ASSERT_TRUE(SamePage(&r.eepromChange, &r.pendingCmd));
    Watch([&] { r.PostCommand("W"); });

    ASSERT_FALSE(steps.empty());
    EXPECT_EQ(steps.back().address, &r.cmdPending);
    EXPECT_TRUE(steps.back().commandWaiting);
    for (std::size_t i = 0; i + 1 < steps.size(); ++i) EXPECT_FALSE(steps[i].commandWaiting) << i;
}

}  // namespace
}  // namespace tornavel
