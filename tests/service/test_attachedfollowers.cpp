// The followers a primary waits for, on the virtual clock: a polling one
// while it keeps coming back, a session until it ends, and what a scrape's
// header may say.
#include <gtest/gtest.h>

#include "fakes.h"
#include "log_lines.h"
#include "protection/attachedfollowers.h"
#include "protection/followersdone.h"
#include "system/test_files.h"

namespace tornavel::service {
namespace {

using tornavel::testing::FakeClock;
using Ids = std::vector<std::string>;

TEST(AttachedFollowers, APollingFollowerStaysWhileItComesBackAndASessionUntilItEnds)
{
    FakeClock clock;
    AttachedFollowers followers(clock);
    followers.Seen("http:web-1", 17);
    followers.Attach("upsd:web-2");
    clock.Advance(16'000);
    followers.Seen("http:web-1", 17);  // came back in time
    clock.Advance(16'000);
    EXPECT_EQ(followers.Attached(), (Ids{"http:web-1", "upsd:web-2"}));
    clock.Advance(1'000);
    EXPECT_EQ(followers.Attached(), (Ids{"upsd:web-2"}));
    followers.Seen("upsd:web-2", 1);  // a poll does not end a session
    clock.Advance(3600'000);
    EXPECT_EQ(followers.Attached(), (Ids{"upsd:web-2"}));
    followers.Detach("upsd:web-2");
    followers.Seen("http:web-3", 17);
    followers.Detach("http:web-3");  // its goodbye
    EXPECT_TRUE(followers.Attached().empty());
}

TEST(AttachedFollowers, AFloodOfNamesIsBounded)
{
    FakeClock clock;
    AttachedFollowers followers(clock);
    for (std::size_t i = 0; i < AttachedFollowers::kMost + 50; ++i) followers.Seen("http:f" + std::to_string(i), 10);
    EXPECT_EQ(followers.Attached().size(), AttachedFollowers::kMost);
    clock.Advance(11'000);  // the old ones expired: room again
    followers.Seen("http:late", 10);
    EXPECT_EQ(followers.Attached(), (Ids{"http:late"}));
}

TEST(FollowerVisit, TheHeaderSaysWhoWithWhatAndNothingElse)
{
    struct Case {
        const char* header;
        std::optional<FollowerVisit> visit;
    };
    for (const Case& c : {Case{"web-1; every=5", FollowerVisit{"web-1", 5, false, false}},
                          Case{"db.example.org;every=60; leaving", FollowerVisit{"db.example.org", 60, true, false}},
                          Case{"lab; every=1; dry-run", FollowerVisit{"lab", 1, false, true}},
                          Case{"web-1", FollowerVisit{"web-1", 5, false, false}}, Case{"", std::nullopt},
                          Case{"; every=5", std::nullopt}, Case{"web 1; every=5", std::nullopt},
                          Case{"web-1; every=0", std::nullopt}, Case{"web-1; every=61", std::nullopt},
                          Case{"web-1; every=5; shutdown", std::nullopt}, Case{"web\n1", std::nullopt}}) {
        const auto visit = ParseFollowerVisit(c.header);
        ASSERT_EQ(visit.has_value(), c.visit.has_value()) << c.header;
        if (!visit) continue;
        EXPECT_EQ(visit->name, c.visit->name) << c.header;
        EXPECT_EQ(visit->everySeconds, c.visit->everySeconds) << c.header;
        EXPECT_EQ(visit->leaving, c.visit->leaving) << c.header;
        EXPECT_EQ(visit->dryRun, c.visit->dryRun) << c.header;
        EXPECT_EQ(ParseFollowerVisit(FollowerVisitText(*visit))->name, visit->name);
    }
    EXPECT_FALSE(ParseFollowerVisit(std::string(65, 'a')));
}

TEST(FollowersDone, WrittenOnceNoFollowerIsLeftAndNotBeforeTheyCouldComeBack)
{
    tornavel::testing::TempDir dir;
    std::FILE* file = std::tmpfile();
    EventLog log(file, nullptr);
    const std::string path = dir / "followers-done";
    FollowersDone done(path, "this-boot", log, 17);
    EXPECT_FALSE(done.Check({}, 16));  // a follower may not have come back since the start
    EXPECT_FALSE(done.Check({"http:web-1"}, 20));
    EXPECT_FALSE(std::filesystem::exists(path));
    EXPECT_TRUE(done.Check({}, 21));
    EXPECT_EQ(tornavel::testing::ReadFile(path), "this-boot\n");
    std::string lines;
    for (const auto& line : LogLines(file)) lines += line;
    EXPECT_NE(lines.find("followers_waited_for this host powers off once its followers are down: http:web-1"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("followers_done"), std::string::npos) << lines;
}

}  // namespace
}  // namespace tornavel::service
