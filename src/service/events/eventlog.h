#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>

#include "events/event.h"
#include "events/eventcoalescer.h"

namespace tornavel::service {

class HookRunner;

// Writes every event as one line "TIME PORT EVENT MESSAGE" (journald keeps
// standard output) and hands it to the event program, if there is one.
// Repeats of a unit's alert are folded (see EventCoalescer) into one line
// and one run of the program. Safe to call from every unit's thread.
class EventLog {
public:
    using NowMs = std::function<std::int64_t()>;

    // `journal`: each line starts with its syslog priority ("<4>"), which
    // journald takes as the line's level. `nowMs` times the folding windows
    // (the steady clock by default).
    EventLog(std::FILE* out, HookRunner* hooks, bool journal = false, NowMs nowMs = {});

    void Record(Event event);
    // An alert from a unit: folded when it repeats.
    void RecordAlert(Event event);
    // Writes the summaries of folding windows that have closed; the units
    // call it after every cycle, so a summary is at most a cycle late.
    void FlushDue();
    // Writes every summary still open (at the stop).
    void FlushAll();
    // A line about the monitor's own doings (a failing event program): logged
    // only, never handed to the event program, so it cannot feed on itself.
    void Note(const std::string& port, const std::string& name, const std::string& message);

    // Alerts folded into a summary so far.
    std::uint64_t coalesced() const;

private:
    void Write(const Event& event);
    void Pass(Event event);
    void Summaries(std::vector<EventCoalescer::Repeats> due);

    std::mutex mutex_;  // the output
    mutable std::mutex foldMutex_;
    std::FILE* out_;
    HookRunner* hooks_;
    bool journal_;
    NowMs nowMs_;
    EventCoalescer coalescer_;
    std::uint64_t coalesced_ = 0;
};

// Whether standard output goes to the journal: systemd names the stream it
// connected in JOURNAL_STREAM as "DEVICE:INODE".
bool StreamIsJournal(int fd, const char* journalStream);

}  // namespace tornavel::service
