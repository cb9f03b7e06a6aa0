#include "events/eventlog.h"

#include <sys/stat.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <ctime>
#include <string_view>

#include "clock.h"
#include "events/hookrunner.h"
#include "units/unittext.h"

namespace tornavel::service {

namespace {

// Changes of a unit's state: handed to the event program ahead of anything
// else and never dropped.
constexpr std::string_view kStateChanges[] = {"mains_failure",    "mains_restored",     "battery_low",
                                              "battery_ok",       "shutdown_pending",   "link_lost",
                                              "connected",        "shutdown",           "shutdown_failed",
                                              "shutdown_dry_run", "shutdown_cancelled", "protection_resumed"};

// The unit's alerts that tell a state, by the state they tell.
struct StateAlert {
    std::string_view name;
    const char* state;
};
constexpr StateAlert kStateAlerts[] = {{"mains_failure", "mains"},
                                       {"mains_restored", "mains"},
                                       {"battery_low", "battery"},
                                       {"battery_ok", "battery"},
                                       {"shutdown_pending", "shutdown"}};

std::string StateOf(const std::string& alert)
{
    for (const StateAlert& entry : kStateAlerts)
        if (entry.name == alert) return entry.state;
    return {};
}

// What an operator must see: syslog level "warning"; the rest is "notice".
constexpr std::string_view kWarnings[] = {
    "mains_failure",   "battery_low",      "abnormal_condition", "shutdown_pending",  "replace_battery", "link_lost",
    "unavailable",     "hook_failed",      "hook_timeout",       "hook_skipped",      "textfile_failed", "shutdown",
    "shutdown_failed", "shutdown_dry_run", "primary_unreadable", "shutdown_cancelled"};
constexpr int kWarning = 4;
constexpr int kNotice = 5;

template <std::size_t N>
bool Among(const std::string_view (&names)[N], const std::string& name)
{
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

}  // namespace

std::string EventTimeNow()
{
    const std::int64_t nowMs = std::llround(UnixSecondsNow() * 1000.0);
    const std::time_t seconds = static_cast<std::time_t>(nowMs / 1000);
    const auto millis = nowMs % 1000;
    std::tm utc{};
    ::gmtime_r(&seconds, &utc);
    char text[40];
    const auto length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    std::snprintf(text + length, sizeof text - length, ".%03dZ", static_cast<int>(millis));
    return text;
}

bool StreamIsJournal(int fd, const char* journalStream)
{
    if (!journalStream) return false;
    std::uintmax_t device = 0, inode = 0;
    if (std::sscanf(journalStream, "%" SCNuMAX ":%" SCNuMAX, &device, &inode) != 2) return false;
    struct stat status {};
    if (::fstat(fd, &status) != 0) return false;
    return status.st_dev == device && status.st_ino == inode;
}

EventLog::EventLog(std::FILE* out, HookRunner* hooks, bool journal, NowMs nowMs)
    : out_(out),
      hooks_(hooks),
      journal_(journal),
      nowMs_(nowMs ? std::move(nowMs) : NowMs([] { return SteadyClock().NowMs(); }))
{
}

void EventLog::Write(const Event& event)
{
    std::string line = event.time + " " + PrintableText(event.port) + " " + PrintableText(event.name) + " " +
                       PrintableText(event.message) + "\n";
    if (journal_) line = "<" + std::to_string(Among(kWarnings, event.name) ? kWarning : kNotice) + ">" + line;
    std::lock_guard lock(mutex_);
    std::fwrite(line.data(), 1, line.size(), out_);
    std::fflush(out_);
}

void EventLog::Pass(Event event)
{
    if (event.time.empty()) event.time = EventTimeNow();
    Write(event);
    if (hooks_) {
        const bool urgent = Among(kStateChanges, event.name) &&
                            std::none_of(event.details.begin(), event.details.end(),
                                         [](const auto& detail) { return detail.first == "repeats"; });
        hooks_->Run(std::move(event), urgent);
    }
}

void EventLog::Summaries(std::vector<EventCoalescer::Repeats> due)
{
    for (const auto& repeats : due)
        Pass(Event{{},
                   repeats.port,
                   repeats.name,
                   "repeated " + std::to_string(repeats.count) + " more time(s) within " +
                       std::to_string(EventCoalescer::kWindowMs / 1000) + " s",
                   {{"repeats", std::to_string(repeats.count)}}});
}

void EventLog::Record(Event event)
{
    std::vector<EventCoalescer::Repeats> due;
    {
        // What a unit sent before this event is told before it.
        std::lock_guard lock(foldMutex_);
        due = coalescer_.TakeDue(nowMs_(), false, &event.port);
    }
    Summaries(std::move(due));
    Pass(std::move(event));
}

void EventLog::RecordAlert(Event event)
{
    std::vector<EventCoalescer::Repeats> due;
    bool pass = false;
    {
        std::lock_guard lock(foldMutex_);
        const std::int64_t now = nowMs_();
        due = coalescer_.TakeDue(now);
        pass = coalescer_.Admit(event.port, event.name, now, StateOf(event.name));
        if (!pass) ++coalesced_;
    }
    Summaries(std::move(due));
    if (pass) Pass(std::move(event));
}

void EventLog::FlushDue()
{
    std::vector<EventCoalescer::Repeats> due;
    {
        std::lock_guard lock(foldMutex_);
        due = coalescer_.TakeDue(nowMs_());
    }
    Summaries(std::move(due));
}

void EventLog::FlushAll()
{
    std::vector<EventCoalescer::Repeats> due;
    {
        std::lock_guard lock(foldMutex_);
        due = coalescer_.TakeDue(nowMs_(), true);
    }
    Summaries(std::move(due));
}

std::uint64_t EventLog::coalesced() const
{
    std::lock_guard lock(foldMutex_);
    return coalesced_;
}

void EventLog::Note(const std::string& port, const std::string& name, const std::string& message)
{
    Write(Event{EventTimeNow(), port, name, message, {}});
}

}  // namespace tornavel::service
