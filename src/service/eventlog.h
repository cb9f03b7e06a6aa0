#pragma once
#include <cstdio>
#include <mutex>

#include "event.h"

namespace tornavel::service {

class HookRunner;

// Writes every event as one line "TIME PORT EVENT MESSAGE" (journald keeps
// standard output) and hands it to the event program, if there is one.
// Safe to call from every unit's thread.
class EventLog {
public:
    EventLog(std::FILE* out, HookRunner* hooks) : out_(out), hooks_(hooks) {}

    void Record(Event event);
    // A line about the monitor's own doings (a failing event program): logged
    // only, never handed to the event program, so it cannot feed on itself.
    void Note(const std::string& port, const std::string& name, const std::string& message);

private:
    void Write(const Event& event);

    std::mutex mutex_;
    std::FILE* out_;
    HookRunner* hooks_;
};

}  // namespace tornavel::service
