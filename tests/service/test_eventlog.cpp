// The event log: a flood of one alert from one unit becomes its first line
// and one summary with the number of repeats, while another alert in the
// middle of it is written at once; and the syslog level each line carries
// when standard output goes to the journal.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "events/eventlog.h"
#include "log_lines.h"

namespace tornavel::service {
namespace {

// The lines so far, each without its time.
std::vector<std::string> Bodies(std::FILE* file)
{
    std::vector<std::string> bodies;
    for (const auto& line : LogLines(file)) bodies.push_back(line.substr(line.find(' ') + 1));
    return bodies;
}

Event Alert(const std::string& port, const std::string& name)
{
    return Event{{}, port, name, "message of " + name, {}};
}

TEST(EventLog, FloodOfOneAlertIsFoldedAndOtherAlertsPassAtOnce)
{
    std::FILE* file = std::tmpfile();
    std::atomic<std::int64_t> now{0};
    EventLog log(file, nullptr, false, [&] { return now.load(); });

    for (int n = 0; n < 500; ++n) {
        if (n == 250) {
            log.RecordAlert(Alert("COM1", "battery_low"));
            // Written now, not behind the flood.
            ASSERT_EQ(LogLines(file).size(), 3u);
        }
        log.RecordAlert(Alert("COM1", "mains_failure"));
        log.RecordAlert(Alert("COM2", "mains_failure"));  // another unit's window
        now += 10;
    }
    EXPECT_EQ(log.coalesced(), 2u * 499);
    log.FlushDue();  // the window is still open: nothing yet
    now = EventCoalescer::kWindowMs;
    log.FlushDue();
    log.FlushDue();                                   // told once
    log.RecordAlert(Alert("COM1", "mains_failure"));  // a new window

    const std::vector<std::string> expected = {
        "COM1 mains_failure message of mains_failure\n",
        "COM2 mains_failure message of mains_failure\n",
        "COM1 battery_low message of battery_low\n",
        "COM1 mains_failure repeated 499 more time(s) within 10 s\n",
        "COM2 mains_failure repeated 499 more time(s) within 10 s\n",
        "COM1 mains_failure message of mains_failure\n",
    };
    EXPECT_EQ(Bodies(file), expected);
    std::fclose(file);
}

// What a unit sent before a change of its link is told before it; the stop
// tells whatever is still folded.
TEST(EventLog, FoldedRepeatsAreToldBeforeTheUnitsNextEventAndAtTheStop)
{
    std::FILE* file = std::tmpfile();
    EventLog log(file, nullptr, false, [] { return std::int64_t{0}; });
    for (int n = 0; n < 3; ++n) log.RecordAlert(Alert("COM1", "replace_battery"));
    for (int n = 0; n < 4; ++n) log.RecordAlert(Alert("COM2", "mains_restored"));
    log.Record(Event{{}, "COM1", "link_lost", "gone", {}});
    log.FlushAll();

    const std::vector<std::string> expected = {
        "COM1 replace_battery message of replace_battery\n",          "COM2 mains_restored message of mains_restored\n",
        "COM1 replace_battery repeated 2 more time(s) within 10 s\n", "COM1 link_lost gone\n",
        "COM2 mains_restored repeated 3 more time(s) within 10 s\n",
    };
    EXPECT_EQ(Bodies(file), expected);
    std::fclose(file);
}

struct Level {
    const char* event;
    const char* prefix;
};

class EventLevel : public ::testing::TestWithParam<Level> {};

// journalctl -p warning shows what an operator must act on, and not the rest.
TEST_P(EventLevel, LineStartsWithItsSyslogLevelInTheJournal)
{
    for (const bool journal : {true, false}) {
        std::FILE* file = std::tmpfile();
        EventLog log(file, nullptr, journal);
        log.Record(Event{{}, "COM1", GetParam().event, "text", {}});
        const auto lines = LogLines(file);
        ASSERT_EQ(lines.size(), 1u);
        const std::string expected = journal ? GetParam().prefix : "";
        EXPECT_EQ(lines[0].substr(0, expected.size()), expected) << lines[0];
        EXPECT_EQ(lines[0][expected.size()], '2') << "the time follows: " << lines[0];
        std::fclose(file);
    }
}

INSTANTIATE_TEST_SUITE_P(EventLog, EventLevel,
                         ::testing::Values(Level{"mains_failure", "<4>"}, Level{"battery_low", "<4>"},
                                           Level{"link_lost", "<4>"}, Level{"shutdown_pending", "<4>"},
                                           Level{"replace_battery", "<4>"}, Level{"hook_timeout", "<4>"},
                                           Level{"textfile_failed", "<4>"}, Level{"shutdown", "<4>"},
                                           Level{"mains_restored", "<5>"}, Level{"connected", "<5>"},
                                           Level{"start", "<5>"}));

TEST(EventLog, JournalIsRecognisedByTheStreamSystemdNamed)
{
    std::FILE* file = std::tmpfile();
    struct stat status {};
    ASSERT_EQ(::fstat(::fileno(file), &status), 0);
    const std::string device = std::to_string(status.st_dev);
    const std::string inode = std::to_string(status.st_ino);
    EXPECT_TRUE(StreamIsJournal(::fileno(file), (device + ":" + inode).c_str()));
    EXPECT_FALSE(StreamIsJournal(::fileno(file), (device + ":" + inode + "1").c_str()));
    EXPECT_FALSE(StreamIsJournal(::fileno(file), ("1" + device + ":" + inode).c_str()));
    EXPECT_FALSE(StreamIsJournal(::fileno(file), "journal"));
    EXPECT_FALSE(StreamIsJournal(::fileno(file), nullptr));
    std::fclose(file);
}

}  // namespace
}  // namespace tornavel::service
