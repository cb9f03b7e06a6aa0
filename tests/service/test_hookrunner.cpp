// The event program, run as real processes: a hang is ended with its whole
// process group (SIGTERM first), one hung program does not hold up the next
// event, and a stop ends what still runs instead of waiting for it.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "events/eventlog.h"
#include "events/hookrunner.h"

namespace tornavel::service {
namespace {

struct Dir {
    Dir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "hook-test-XXXXXX").string();
        path = ::mkdtemp(pattern.data());
    }
    ~Dir() { std::filesystem::remove_all(path); }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

std::string Read(const std::string& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The program: for the event "hang" it starts two children and waits: a
// shell that notes SIGTERM a moment after (when its leader has ended), and
// a `sleep` that ignores it; the program itself notes SIGTERM and ends,
// leaving them behind unless its whole group is ended. Any other event is noted at once.
std::string Program(const Dir& dir)
{
    const std::string path = dir / "hook";
    std::ofstream(path)
        << "#!/bin/sh\n"
           "d=$(dirname \"$0\")\n"
           "[ \"$1\" = fail ] && exit 3\n"
           "if [ \"$1\" = hang ]; then\n"
           "  trap 'echo term >> \"$d/term\"; exit 0' TERM\n"
           "  sh -c 'trap \"sleep 0.3; echo child >> $0/term; exit 0\" TERM; sleep 600 & wait' \"$d\" &\n"
           "  echo $! >> \"$d/children\"\n"
           "  (trap '' TERM; exec sleep 600) & echo $! >> \"$d/children\"\n"
           "  wait\n"
           "fi\n"
           "echo \"$1\" >> \"$d/ran\"\n";
    std::filesystem::permissions(path, std::filesystem::perms::owner_all);
    return path;
}

// Patience for what must happen, however loaded the machine.
template <typename Condition>
bool Eventually(Condition done)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!done()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// A process that is gone or only waits to be reaped by someone else.
bool Ended(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text;
    if (!std::getline(stat, text)) return true;
    return text[text.rfind(')') + 2] == 'Z';
}

std::vector<pid_t> Children(const Dir& dir)
{
    std::vector<pid_t> pids;
    std::istringstream lines(Read(dir / "children"));
    for (pid_t pid; lines >> pid;) pids.push_back(pid);
    return pids;
}

struct Notes {
    void operator()(const std::string& name, const std::string& message)
    {
        std::lock_guard lock(mutex);
        text += name + " " + message + "\n";
    }
    std::string get()
    {
        std::lock_guard lock(mutex);
        return text;
    }
    std::mutex mutex;
    std::string text;
};

Event Named(const std::string& name)
{
    return Event{"2026-12-10T00:00:00.000Z", "COM1", name, "", {}};
}

TEST(HookRunner, HangIsEndedWithItsWholeGroupAtTheTimeoutAndOthersRunMeanwhile)
{
    Dir dir;
    Notes notes;
    HookRunner hooks(Program(dir), /*timeoutMs=*/1500, std::ref(notes));
    const auto started = std::chrono::steady_clock::now();
    hooks.Run(Named("hang"));
    ASSERT_TRUE(Eventually([&] { return Children(dir).size() == 2; }));
    // The hang holds one runner; the next events still run at once.
    hooks.Run(Named("fail"));
    hooks.Run(Named("battery_low"), /*urgent=*/true);
    ASSERT_TRUE(Eventually([&] { return Read(dir / "ran") == "battery_low\n"; })) << Read(dir / "ran");
    // Read before its time is up (a loaded machine may take longer to get here).
    const std::string early = Read(dir / "term");
    if (std::chrono::steady_clock::now() - started < std::chrono::milliseconds(1500)) {
        EXPECT_EQ(early, "") << "ended before its time";
    }

    for (const pid_t child : Children(dir))
        EXPECT_TRUE(Eventually([&] { return Ended(child); })) << "a child outlived the program";
    // Both traps write their line; a process may be reaped before its line is read back.
    std::string term;
    EXPECT_TRUE(Eventually([&] {
        term = Read(dir / "term");
        return term == "term\nchild\n" || term == "child\nterm\n";
    })) << "SIGTERM first, to the group: "
        << term;
    ASSERT_TRUE(Eventually([&] { return hooks.counts().timeouts == 1; })) << notes.get();
    hooks.Finish(1000);
    const HookRunner::Counts counts = hooks.counts();
    EXPECT_EQ(counts.runs, 3u);
    EXPECT_EQ(counts.failures, 1u);
    EXPECT_EQ(counts.timeouts, 1u);
    EXPECT_NE(notes.get().find("hook_timeout " + dir / "hook" + " for hang still running after 1 s: ended"),
              std::string::npos)
        << notes.get();
    EXPECT_NE(notes.get().find("hook_failed " + dir / "hook" + " for fail ended with exit status 3"), std::string::npos)
        << notes.get();
}

// A stop waits for hung programs only as long as it is told: then what is
// queued is dropped and what runs is ended, group and all.
TEST(HookRunner, FinishEndsHungProgramsAndDropsTheQueueAfterItsPatience)
{
    Dir dir;
    Notes notes;
    HookRunner hooks(Program(dir), /*timeoutMs=*/600000, std::ref(notes));
    for (int n = 0; n < HookRunner::kParallel + 3; ++n) hooks.Run(Named("hang"));
    ASSERT_TRUE(Eventually([&] { return Children(dir).size() == 2 * HookRunner::kParallel; }));
    const auto finishing = std::chrono::steady_clock::now();
    hooks.Finish(200);
    // A bound on the stop, far above its 200 ms and the short grace, far
    // below the programs' own 600 s.
    EXPECT_LT(std::chrono::steady_clock::now() - finishing, std::chrono::seconds(60));

    for (const pid_t child : Children(dir)) EXPECT_TRUE(Eventually([&] { return Ended(child); })) << child;
    EXPECT_EQ(Children(dir).size(), static_cast<std::size_t>(2 * HookRunner::kParallel));
    const HookRunner::Counts counts = hooks.counts();
    EXPECT_EQ(counts.timeouts, static_cast<std::uint64_t>(HookRunner::kParallel));
    EXPECT_EQ(counts.skipped, 3u);
    EXPECT_NE(notes.get().find("hook_skipped 3 event(s) not handed over: the monitor is stopping"), std::string::npos)
        << notes.get();
    EXPECT_NE(notes.get().find("for hang still running at the stop: ended"), std::string::npos) << notes.get();
}

// Changes of a unit's state under an alert flood: every event program is
// hung and the queue is full of other units' alerts, yet each change is
// handed over once a program is free again.
struct StateChangeCase {
    const char* name;
    std::vector<std::pair<const char*, bool>> events;  // name, from the unit (an alert) or the monitor
    std::vector<std::pair<const char*, int>> expectedRuns;
};

void PrintTo(const StateChangeCase& change, std::ostream* out)
{
    *out << change.name;
}

class StateChangeUnderFlood : public ::testing::TestWithParam<StateChangeCase> {};

int Runs(const std::string& ran, const std::string& name)
{
    int runs = 0;
    std::istringstream lines(ran);
    for (std::string line; std::getline(lines, line);) runs += line == name;
    return runs;
}

TEST_P(StateChangeUnderFlood, IsNeverDropped)
{
    Dir dir;
    Notes notes;
    HookRunner hooks(Program(dir), /*timeoutMs=*/1500, std::ref(notes));
    std::FILE* out = std::tmpfile();
    // Time stands still: no folding window ever closes by itself.
    EventLog log(out, &hooks, false, [] { return std::int64_t{0}; });
    for (int n = 0; n < HookRunner::kParallel; ++n) log.Record(Named("hang"));
    ASSERT_TRUE(Eventually([&] { return Children(dir).size() == 2 * HookRunner::kParallel; }));
    constexpr int kFlood = static_cast<int>(HookRunner::kQueueLimit) + 20;
    for (int n = 0; n < kFlood; ++n) {
        Event alert = Named("abnormal_condition");
        alert.port = "COM" + std::to_string(100 + n);  // each unit's first: none is folded
        log.RecordAlert(alert);
    }
    for (const auto& [name, fromUnit] : GetParam().events) {
        if (fromUnit)
            log.RecordAlert(Named(name));
        else
            log.Record(Named(name));
    }
    EXPECT_GE(hooks.counts().skipped, 20u) << "the queue was full";

    for (const auto& [name, runs] : GetParam().expectedRuns)
        EXPECT_TRUE(Eventually([&] { return Runs(Read(dir / "ran"), name) == runs; }))
            << name << " should have run " << runs << " time(s); ran:\n"
            << Read(dir / "ran");
    hooks.Finish(1000);
    std::fclose(out);
}

INSTANTIATE_TEST_SUITE_P(
    EventLog, StateChangeUnderFlood,
    ::testing::Values(StateChangeCase{"ShutdownDecision", {{"shutdown", false}}, {{"shutdown", 1}}},
                      StateChangeCase{"MainsFailure", {{"mains_failure", true}}, {{"mains_failure", 1}}},
                      // Within one folding window: the second failure is a change, not a repeat.
                      StateChangeCase{"MainsFailingAgain",
                                      {{"mains_failure", true}, {"mains_restored", true}, {"mains_failure", true}},
                                      {{"mains_failure", 2}, {"mains_restored", 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tornavel::service
